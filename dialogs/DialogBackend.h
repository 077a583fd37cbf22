// The seam between CCommonDialogs and the dialogs on screen: what each dialog is given and what it gives back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace velquin::dialogs {

/// One file type offered by an open or save dialog: "Excel File(*.xls;*.xlsx)" with "*.xls;*.xlsx".
struct FilterEntry
{
    std::string description;
    std::string pattern; ///< one or more wildcards separated by ";"

    bool operator==(const FilterEntry&) const = default;
};

/// Input of the open and save dialogs. The flags keep the meaning of the system's file-dialog flags.
struct FileDialogRequest
{
    QWidget* owner = nullptr;
    std::string caption; ///< empty: the dialog's own caption
    std::vector<FilterEntry> filters;
    int filterIndex = 0;          ///< 1-based entry preselected; 0 leaves the choice to the dialog
    std::string initialFile;      ///< name shown in the file box when the dialog opens
    std::string initialFolder;    ///< empty: the dialog opens wherever the system places it
    std::string defaultExtension; ///< added to a typed name that has no extension
    bool fileMustExist = false;   ///< only an existing file can be confirmed
    bool hideReadOnly = false;    ///< no "open as read-only" check box
    bool overwritePrompt = false; ///< ask before an existing file is chosen for saving
};

/// Input of the folder browser.
struct FolderDialogRequest
{
    QWidget* owner = nullptr;
    std::string title;             ///< text shown with the folder tree; empty for none
    bool fileSystemOnly = true;    ///< only folders of the file system can be confirmed
    bool dontGoBelowDomain = true; ///< network browsing stops at the domain level
};

/// Input of the colour dialog. Colours are RGB values laid out 0x00BBGGRR.
struct ColorDialogRequest
{
    QWidget* owner = nullptr;
    std::int32_t initialColor = 0;
    std::array<std::int32_t, 16> customColors{};
    bool fullOpen = false; ///< open with the custom-colour part expanded
};

/// The font record handed to the font dialog.
struct LogFont
{
    std::int32_t height = 0; ///< negative: character height in pixels; positive: cell height
    std::int32_t weight = 0; ///< 0 = default, 400 = regular, 700 = bold
    bool italic = false;
    bool underline = false;
    std::string faceName; ///< at most LogFont::maxFaceNameLength characters

    static constexpr std::size_t maxFaceNameLength = 31;
};

struct FontDialogRequest
{
    QWidget* owner = nullptr; ///< may be null: the font dialog also shows without an owner
    LogFont font;
    bool screenFonts = true;
    bool printerFonts = true;
    bool initFromLogFont = true;
    bool forceFontExist = true;
    bool printerDeviceContext = false; ///< the default printer's fonts are offered too
    std::int32_t color = 0;            ///< unused by a dialog without effects
};

struct FontDialogAnswer
{
    std::string faceName;
    int pointSizeTenths = 0;
    bool bold = false;
    bool italic = false;
};

struct PrintDialogRequest
{
    QWidget* owner = nullptr;
    bool noSelection = true;
    bool noPageNumbers = true;
    bool hidePrintToFile = true;
};

/// Shows the system's dialogs. Every call blocks until the dialog closes; nothing is returned on cancel or when the
/// dialog could not be shown.
class DialogBackend
{
public:
    virtual ~DialogBackend() = default;

    /// Full path of the chosen file.
    virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
    /// Full path of the file name chosen for saving.
    virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;
    /// File-system path of the chosen folder.
    virtual std::optional<std::string> browseFolder(const FolderDialogRequest& request) = 0;
    /// The chosen colour, 0x00BBGGRR.
    virtual std::optional<std::int32_t> chooseColor(const ColorDialogRequest& request) = 0;
    virtual std::optional<FontDialogAnswer> chooseFont(const FontDialogRequest& request) = 0;
    /// True when the print dialog was confirmed.
    virtual bool print(const PrintDialogRequest& request) = 0;
    /// Name of the default printer; nothing when no printer is installed.
    virtual std::optional<std::string> defaultPrinterName() = 0;
    /// Shows the properties of the named printer; true when they were confirmed.
    virtual bool printerProperties(QWidget* owner, const std::string& printerName) = 0;
    /// Logical dots per inch along the screen's height.
    virtual int screenDpiY() = 0;
};

} // namespace velquin::dialogs
