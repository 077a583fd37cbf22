// The dialog backend that shows Qt's dialogs.
#pragma once

#include "dialogs/DialogBackend.h"

namespace velquin::dialogs {

class QtDialogBackend : public DialogBackend
{
public:
    std::optional<std::string> openFile(const FileDialogRequest& request) override;
    std::optional<std::string> saveFile(const FileDialogRequest& request) override;
    std::optional<std::string> browseFolder(const FolderDialogRequest& request) override;
    std::optional<std::int32_t> chooseColor(const ColorDialogRequest& request) override;
    std::optional<FontDialogAnswer> chooseFont(const FontDialogRequest& request) override;
    bool print(const PrintDialogRequest& request) override;
    std::optional<std::string> defaultPrinterName() override;
    bool printerProperties(QWidget* owner, const std::string& printerName) override;
    int screenDpiY() override;
};

} // namespace velquin::dialogs
