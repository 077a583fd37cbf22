// The wait cursor guard.
#include "lists/WaitCursor.h"

#include <QWidget>

namespace velquin::lists {

WaitCursor::WaitCursor(QWidget* window) : m_window(window)
{
    if (m_window != nullptr)
        m_window->setCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    if (m_window != nullptr)
        m_window->unsetCursor();
}

} // namespace velquin::lists
