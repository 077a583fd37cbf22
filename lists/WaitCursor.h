// The wait cursor on a window for as long as a guard object lives.
#pragma once

class QWidget;

namespace velquin::lists {

/// Shows the wait cursor on `window` until destruction, whichever way the command ends.
class WaitCursor
{
public:
    explicit WaitCursor(QWidget* window);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    QWidget* m_window;
};

} // namespace velquin::lists
