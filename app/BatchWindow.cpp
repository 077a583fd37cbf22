// The main window as the batch conversion sees it.
#include "app/BatchWindow.h"

#include "app/form1.h"

#include <QCoreApplication>

namespace velquin::app {

namespace {

QTreeWidgetItem* workbookItem(const form1& window, std::int32_t index)
{
    if (index < 1 || index > window.ListView2->topLevelItemCount())
        return nullptr;
    return window.ListView2->topLevelItem(index - 1);
}

} // namespace

std::int32_t BatchWindow::inputCount() const
{
    return m_window.ListView1->topLevelItemCount();
}

std::optional<std::string> BatchWindow::selectedInput() const
{
    const auto selected = m_window.ListView1->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.front()->text(0).toStdString();
}

std::int32_t BatchWindow::workbookCount() const
{
    return m_window.ListView2->topLevelItemCount();
}

std::string BatchWindow::workbookText(std::int32_t index) const
{
    auto* item = workbookItem(m_window, index);
    return item ? item->text(0).toStdString() : std::string();
}

bool BatchWindow::workbookChecked(std::int32_t index) const
{
    auto* item = workbookItem(m_window, index);
    return item && item->checkState(0) == Qt::Checked;
}

std::string BatchWindow::outputText() const
{
    return m_window.Combo2->currentText().toStdString();
}

std::int32_t BatchWindow::outputListIndex() const
{
    return m_window.Combo2ListIndex();
}

void BatchWindow::setProgressMaximum(std::int32_t maximum)
{
    m_window.ProgressBar1->setRange(0, maximum);
}

void BatchWindow::setProgressValue(std::int32_t value)
{
    m_window.ProgressBar1->setValue(value);
}

void BatchWindow::setBusy(bool busy)
{
    if (busy)
        m_window.setCursor(Qt::WaitCursor);
    else
        m_window.unsetCursor();
}

void BatchWindow::repaintNow()
{
    // The window swallows the user's input while a batch runs, so only painting and window-system events get
    // through here.
    QCoreApplication::processEvents();
}

convert::AutomationStatus NoConverter::create(std::unique_ptr<convert::Application>& /*application*/)
{
    return convert::AutomationError{1, "No workbook converter is available in this build of Velquin."};
}

} // namespace velquin::app
