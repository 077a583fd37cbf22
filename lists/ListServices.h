// What the list commands need from outside: the file system, the dialogs and the window that owns them.
#pragma once

#include <string>

class QWidget;

namespace velquin::platform {
class Platform;
}
namespace velquin::dialogs {
class DialogBackend;
}

namespace velquin::lists {

struct ListServices
{
    platform::Platform& platform;
    dialogs::DialogBackend& dialogs;
    /// The main window: owner of the dialogs, and the window that shows the wait cursor.
    QWidget* window = nullptr;
    /// The folder of the executable (the save dialog's fallback folder).
    std::string applicationPath;
};

} // namespace velquin::lists
