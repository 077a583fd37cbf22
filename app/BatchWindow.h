// The main window as the batch conversion sees it: the two lists and the output box to read, the progress bar and
// the mouse pointer to drive.
#pragma once

#include "convert/ConvertWindow.h"
#include "convert/automation/Automation.h"

namespace velquin::app {

class form1;

class BatchWindow : public convert::WorkbookLists, public convert::BatchProgress
{
public:
    explicit BatchWindow(form1& window) : m_window(window) {}

    std::int32_t inputCount() const override;
    std::optional<std::string> selectedInput() const override;
    std::int32_t workbookCount() const override;
    std::string workbookText(std::int32_t index) const override;
    bool workbookChecked(std::int32_t index) const override;
    std::string outputText() const override;
    std::int32_t outputListIndex() const override;

    void setProgressMaximum(std::int32_t maximum) override;
    void setProgressValue(std::int32_t value) override;
    void setBusy(bool busy) override;
    void repaintNow() override;

private:
    form1& m_window;
};

/// Stands in when the window is built without a converter: every conversion fails with a clear description.
class NoConverter : public convert::ApplicationFactory
{
public:
    convert::AutomationStatus create(std::unique_ptr<convert::Application>& application) override;
};

} // namespace velquin::app
