// What the main window needs from outside: every seam a test replaces.
#pragma once

#include <functional>
#include <string>

class QDialog;

namespace velquin::platform {
class Platform;
}
namespace velquin::common {
class MessageBox;
}
namespace velquin::dialogs {
class DialogBackend;
}
namespace velquin::convert {
class ApplicationFactory;
}

namespace velquin::app {

/// Produces the F1 key press of the Help command. The real one posts it to the active window without waiting.
class HelpKeySender
{
public:
    virtual ~HelpKeySender() = default;
    virtual void sendHelpKey() = 0;
};

struct Services
{
    platform::Platform& platform;
    common::MessageBox& messageBox;
    HelpKeySender& helpKeys;
    /// The folder of the executable: "help.chm" is looked for here.
    std::string applicationPath;
    /// The folder holding "EXCEL.txt", "output.txt" and "set.txt".
    std::string stateFolder;
    /// The common dialogs' backend (Qt dialogs, or scripted answers in tests).
    dialogs::DialogBackend* dialogBackend = nullptr;
    /// Creates the application objects a conversion drives.
    convert::ApplicationFactory* automation = nullptr;
    /// Shows a modal dialog and returns when it is closed; empty means QDialog::exec(). Tests drive the dialog here.
    std::function<void(QDialog&)> runModal;
    /// How many workbooks a batch converts at once; 0 means one per processor.
    unsigned batchWorkers = 0;
};

} // namespace velquin::app
