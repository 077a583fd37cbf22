// A dialog backend for tests: records what each dialog was given and returns answers scripted in advance.
#pragma once

#include "dialogs/DialogBackend.h"

#include <deque>

namespace velquin::dialogs {

/// Answers are used in the order they were queued, per kind of dialog; a dialog with no answer left is
/// cancelled. Nothing is ever shown.
class ScriptedDialogBackend : public DialogBackend
{
public:
    void answerOpen(std::optional<std::string> fullPath) { m_openAnswers.push_back(std::move(fullPath)); }
    void answerSave(std::optional<std::string> fullPath) { m_saveAnswers.push_back(std::move(fullPath)); }
    void answerFolder(std::optional<std::string> folder) { m_folderAnswers.push_back(std::move(folder)); }
    void answerColor(std::optional<std::int32_t> color) { m_colorAnswers.push_back(color); }
    void answerFont(std::optional<FontDialogAnswer> font) { m_fontAnswers.push_back(std::move(font)); }
    void answerPrint(bool confirmed) { m_printAnswers.push_back(confirmed); }
    void answerPrinterProperties(bool confirmed) { m_printerPropertiesAnswers.push_back(confirmed); }
    void setDefaultPrinter(std::optional<std::string> name) { m_defaultPrinter = std::move(name); }
    void setScreenDpiY(int dpi) { m_dpi = dpi; }

    const std::vector<FileDialogRequest>& openRequests() const { return m_openRequests; }
    const std::vector<FileDialogRequest>& saveRequests() const { return m_saveRequests; }
    const std::vector<FolderDialogRequest>& folderRequests() const { return m_folderRequests; }
    const std::vector<ColorDialogRequest>& colorRequests() const { return m_colorRequests; }
    const std::vector<FontDialogRequest>& fontRequests() const { return m_fontRequests; }
    const std::vector<PrintDialogRequest>& printRequests() const { return m_printRequests; }
    /// The printer named in each printer-properties request.
    const std::vector<std::string>& printerPropertiesRequests() const { return m_printerPropertiesRequests; }
    /// Number of dialogs of any kind that were asked for.
    std::size_t dialogsShown() const;

    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const FileDialogRequest& request) override;
    std::optional<std::string> browseFolder(const FolderDialogRequest& request) override;
    std::optional<std::int32_t> chooseColor(const ColorDialogRequest& request) override;
    std::optional<FontDialogAnswer> chooseFont(const FontDialogRequest& request) override;
    bool print(const PrintDialogRequest& request) override;
    std::optional<std::string> defaultPrinterName() override { return m_defaultPrinter; }
    bool printerProperties(QWidget* owner, const std::string& printerName) override;
    int screenDpiY() override { return m_dpi; }

private:
    std::deque<std::optional<std::string>> m_openAnswers;
    std::deque<std::optional<std::string>> m_saveAnswers;
    std::deque<std::optional<std::string>> m_folderAnswers;
    std::deque<std::optional<std::int32_t>> m_colorAnswers;
    std::deque<std::optional<FontDialogAnswer>> m_fontAnswers;
    std::deque<bool> m_printAnswers;
    std::deque<bool> m_printerPropertiesAnswers;
    std::optional<std::string> m_defaultPrinter;
    int m_dpi = 96;

    std::vector<FileDialogRequest> m_openRequests;
    std::vector<FileDialogRequest> m_saveRequests;
    std::vector<FolderDialogRequest> m_folderRequests;
    std::vector<ColorDialogRequest> m_colorRequests;
    std::vector<FontDialogRequest> m_fontRequests;
    std::vector<PrintDialogRequest> m_printRequests;
    std::vector<std::string> m_printerPropertiesRequests;
};

} // namespace velquin::dialogs
