// CCommonDialogs: the one wrapper over the open, save, folder, colour, font and printer dialogs.
#pragma once

#include "dialogs/DialogBackend.h"
#include "dialogs/DialogResult.h"

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>

namespace velquin::dialogs {

/// A caller creates one instance per dialog: Init with the owner window, set the inputs, call one Show... method
/// and, when it returns true, read the results. Properties keep their values between calls on one instance.
///
/// Title, Path, FileTitle and FileName read their stored text up to the first NUL; Filter, DefExt and FontName
/// read it unchanged. Setters store what they are given.
class CCommonDialogs
{
public:
    /// `applicationPath` is the save dialog's fallback folder (the folder of the executable).
    CCommonDialogs(DialogBackend& backend, std::string applicationPath);

    bool FontUnderline() const { return m_fontUnderline; }
    void setFontUnderline(bool vData) { m_fontUnderline = vData; }
    bool FontItalic() const { return m_fontItalic; }
    void setFontItalic(bool vData) { m_fontItalic = vData; }
    bool FontBold() const { return m_fontBold; }
    void setFontBold(bool vData) { m_fontBold = vData; }
    std::int16_t FontSize() const { return m_fontSize; }
    void setFontSize(std::int16_t vData) { m_fontSize = vData; }
    std::string FontName() const { return m_fontName; }
    void setFontName(std::string vData) { m_fontName = std::move(vData); }
    std::int32_t Color() const { return m_color; }
    void setColor(std::int32_t nNew) { m_color = nNew; }
    std::string DefExt() const { return m_defExt; }
    void setDefExt(std::string vData) { m_defExt = std::move(vData); }
    std::string Title() const;
    void setTitle(std::string vData) { m_title = std::move(vData); }

    /// Sets the window that owns every dialog of this instance; a second call replaces it.
    void Init(QWidget* OwnerForm) { m_owner = OwnerForm; }

    std::string Path() const;
    void setPath(std::string vData) { m_path = std::move(vData); }
    std::string FileTitle() const;
    void setFileTitle(std::string vData) { m_fileTitle = std::move(vData); }
    std::string Filter() const { return m_filter; }
    void setFilter(std::string vNewValue) { m_filter = std::move(vNewValue); }
    std::string FileName() const;
    void setFileName(std::string sNewVal) { m_fileName = std::move(sNewVal); }

    /// The print dialog; nothing chosen in it is kept. Fails with NoOwner before Init.
    DialogResult ShowPrinter();
    /// The folder browser. On confirmation Path is the folder and FileName, FileTitle are emptied.
    /// Fails with NoOwner before Init.
    DialogResult ShowFolder();
    /// The colour dialog, starting from Color with 16 black custom colours. Fails with NoOwner before Init.
    DialogResult ShowColor(bool FullOpen);
    /// The font dialog, starting from the font properties; sets FontName, FontBold, FontItalic and FontSize on
    /// confirmation and leaves FontUnderline and Color alone. Shows without an owner before Init; never fails.
    DialogResult ShowFont();
    /// Picks one existing file: FileName, FileTitle and Path on confirmation. Fails with NoOwner before Init and
    /// with InvalidArgument when FileName is longer than 260 characters.
    DialogResult ShowOpen();
    /// The default printer's properties; false when there is no printer. Never fails.
    DialogResult ShowPrinterProperties();
    /// Picks a file name to save under. Path is settled first (an existing folder with "/" appended, else the
    /// application path) and keeps that value even after a cancel or a NoOwner failure.
    DialogResult ShowSave();

private:
    void takeChosenFile(const std::string& fullPath);
    void settleSaveFolder();

    DialogBackend& m_backend;
    std::string m_applicationPath;

    std::string m_fileTitle;
    std::string m_path;
    std::string m_filter;
    std::string m_fileName;
    std::int32_t m_color = 0;
    std::string m_title;
    QPointer<QWidget> m_owner;
    std::string m_defExt;
    std::string m_fontName;
    std::int16_t m_fontSize = 0;
    bool m_fontBold = false;
    bool m_fontItalic = false;
    bool m_fontUnderline = false;
};

} // namespace velquin::dialogs
