// CCommonDialogs: properties, their read rule, and the seven Show... methods over the dialog backend.
#include "dialogs/CCommonDialogs.h"

#include "dialogs/DialogText.h"
#include "dialogs/FilterList.h"
#include "dialogs/FontHeight.h"

#include <filesystem>
#include <system_error>

namespace velquin::dialogs {
namespace {

// The open dialog's file buffer holds 260 characters; a longer preset name cannot be handed to it.
constexpr std::size_t maxOpenFileNameLength = 260;

constexpr std::int32_t boldWeight = 700;

bool isBlank(std::string_view text)
{
    return text.find_first_not_of(' ') == std::string_view::npos;
}

} // namespace

CCommonDialogs::CCommonDialogs(DialogBackend& backend, std::string applicationPath)
    : m_backend(backend), m_applicationPath(std::move(applicationPath))
{}

std::string CCommonDialogs::Title() const
{
    return cutAtNul(m_title);
}

std::string CCommonDialogs::Path() const
{
    return cutAtNul(m_path);
}

std::string CCommonDialogs::FileTitle() const
{
    return cutAtNul(m_fileTitle);
}

std::string CCommonDialogs::FileName() const
{
    return cutAtNul(m_fileName);
}

void CCommonDialogs::takeChosenFile(const std::string& fullPath)
{
    m_fileTitle = lastComponent(fullPath);
    m_fileName = fullPath;
    m_path = folderOfFile(fullPath);
}

DialogResult CCommonDialogs::ShowPrinter()
{
    if (m_owner.isNull())
        return DialogResult::failed(DialogErrc::NoOwner);
    PrintDialogRequest request;
    request.owner = m_owner;
    return DialogResult::fromAnswer(m_backend.print(request));
}

DialogResult CCommonDialogs::ShowFolder()
{
    if (m_owner.isNull())
        return DialogResult::failed(DialogErrc::NoOwner);
    FolderDialogRequest request;
    request.owner = m_owner;
    request.title = Title();
    const std::optional<std::string> folder = m_backend.browseFolder(request);
    if (!folder)
        return DialogResult::cancelled();
    m_path = *folder;
    m_fileName.clear();
    m_fileTitle.clear();
    return DialogResult::confirmed();
}

DialogResult CCommonDialogs::ShowColor(bool FullOpen)
{
    if (m_owner.isNull())
        return DialogResult::failed(DialogErrc::NoOwner);
    ColorDialogRequest request;
    request.owner = m_owner;
    request.initialColor = m_color;
    request.fullOpen = FullOpen;
    const std::optional<std::int32_t> chosen = m_backend.chooseColor(request);
    if (!chosen)
        return DialogResult::cancelled();
    m_color = *chosen;
    return DialogResult::confirmed();
}

DialogResult CCommonDialogs::ShowFont()
{
    FontDialogRequest request;
    request.owner = m_owner;
    request.font.faceName = firstCharacters(cutAtNul(m_fontName), LogFont::maxFaceNameLength);
    request.font.italic = m_fontItalic;
    request.font.underline = m_fontUnderline;
    request.font.weight = m_fontBold ? boldWeight : 0;
    request.font.height = logFontHeight(m_fontSize, m_backend.screenDpiY());
    request.printerDeviceContext = m_backend.defaultPrinterName().has_value();
    request.color = m_color;
    const std::optional<FontDialogAnswer> answer = m_backend.chooseFont(request);
    if (!answer)
        return DialogResult::cancelled();
    m_fontName = answer->faceName;
    m_fontBold = answer->bold;
    m_fontItalic = answer->italic;
    m_fontSize = static_cast<std::int16_t>(answer->pointSizeTenths / 10);
    return DialogResult::confirmed();
}

DialogResult CCommonDialogs::ShowOpen()
{
    if (m_owner.isNull())
        return DialogResult::failed(DialogErrc::NoOwner);
    const std::string presetName = FileName();
    if (characterCount(presetName) > maxOpenFileNameLength)
        return DialogResult::failed(DialogErrc::InvalidArgument);
    FileDialogRequest request;
    request.owner = m_owner;
    request.caption = Title();
    request.filters = parseFilterList(openDialogFilter(m_filter));
    request.initialFile = presetName;
    request.defaultExtension = cutAtNul(m_defExt);
    request.fileMustExist = true;
    request.hideReadOnly = true;
    const std::optional<std::string> chosen = m_backend.openFile(request);
    if (!chosen)
        return DialogResult::cancelled();
    takeChosenFile(*chosen);
    return DialogResult::confirmed();
}

DialogResult CCommonDialogs::ShowPrinterProperties()
{
    const std::optional<std::string> printer = m_backend.defaultPrinterName();
    if (!printer)
        return DialogResult::cancelled();
    return DialogResult::fromAnswer(m_backend.printerProperties(m_owner, *printer));
}

void CCommonDialogs::settleSaveFolder()
{
    if (isBlank(Path()))
    {
        m_path = m_applicationPath;
        return;
    }
    std::string folder = Path();
    if (folder.back() != '/')
        folder += '/';
    std::error_code error;
    m_path = std::filesystem::is_directory(folder, error) ? folder : m_applicationPath;
}

DialogResult CCommonDialogs::ShowSave()
{
    settleSaveFolder();
    const std::string filter = saveDialogFilter(m_filter);
    if (m_owner.isNull())
        return DialogResult::failed(DialogErrc::NoOwner);
    FileDialogRequest request;
    request.owner = m_owner;
    request.caption = "Save";
    request.initialFolder = Path();
    request.filters = parseFilterList(filter);
    request.filterIndex = 1;
    request.hideReadOnly = true;
    const std::optional<std::string> chosen = m_backend.saveFile(request);
    if (!chosen)
        return DialogResult::cancelled();
    takeChosenFile(*chosen);
    return DialogResult::confirmed();
}

} // namespace velquin::dialogs
