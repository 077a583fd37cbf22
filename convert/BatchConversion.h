// The Convert command: checks the output folder, converts the checked workbooks of the selected source through the
// automation layer on worker threads, and shows their results in list order, reporting each failure while the batch
// goes on.
#pragma once

#include "convert/ConversionResult.h"
#include "convert/ConvertWindow.h"
#include "convert/automation/Automation.h"

#include <cstdint>
#include <string>

namespace velquin::common {
class MessageBox;
}
namespace velquin::platform {
class Platform;
}

namespace velquin::convert {

class ConversionQueue;
class WindowCalls;

/// Converts the workbook at `inputPath` into `outputBasePath` + ".xml" with a new application object: create it,
/// Workbooks, Open, DisplayAlerts off, SaveAs with format 46, Close, Quit. After a failure with a positive number
/// the opened workbook is closed and the application quit; the workbook is always released before its application.
/// Shows nothing and touches nothing but the automation layer, so it may run on any thread; `window` reaches the
/// window's thread when the conversion needs the user.
ConversionOutcome convertWithAutomation(ApplicationFactory& automation, const std::string& inputPath,
                                        const std::string& outputBasePath, WindowCalls& window);

class BatchConversion
{
public:
    /// `workers` conversions run at once, each on a thread of its own; 0 means one per processor.
    BatchConversion(platform::Platform& platform, common::MessageBox& messageBox, ApplicationFactory& automation,
                    const WorkbookLists& lists, BatchProgress& progress, unsigned workers = 0);

    /// The Convert command (the Command6 button and the Separate menu item). Output names are decided in list
    /// order; the conversions run side by side, but the progress bar and the messages follow list order exactly as
    /// if they ran one after another, and two workbooks given the same output name convert in list order. A second
    /// start while a batch runs does nothing.
    void Command6_Click();
    bool running() const { return m_running; }

    /// Takes the text of Combo2 as the output folder, creating a typed folder (one level). True when the folder
    /// exists afterwards; OutputFolder then ends with exactly one "/". False after a message.
    bool CheckOutputFolder();
    /// The full path of the workbook behind the ListView2 entry at `index` (1-based), or "" when it is not there.
    std::string GetInputFilePath(std::int32_t index) const;
    /// Converts the workbook behind the ListView2 entry at `index` into OutputBasePath() + ".xml" on this thread,
    /// showing the description of an automation error.
    ConversionResult ConvertWorkbook(std::int32_t index);

    const std::string& OutputFolder() const { return m_outputFolder; }
    const std::string& OutputBasePath() const { return m_outputBasePath; }
    void setOutputBasePath(std::string path) { m_outputBasePath = std::move(path); }

private:
    struct Batch;
    void convertChecked(std::int32_t count);
    /// Starts the conversion of entry `index` (or settles it at once); false when it must wait for an earlier one.
    bool startNext(ConversionQueue& queue, std::int32_t index, Batch& batch);
    /// Shows the result of entry `index` and moves the progress bar to it; false while it is not there yet.
    bool showNext(ConversionQueue& queue, std::int32_t index, const Batch& batch);
    void tell(const ConversionOutcome& outcome);

    platform::Platform& m_platform;
    common::MessageBox& m_messageBox;
    ApplicationFactory& m_automation;
    const WorkbookLists& m_lists;
    BatchProgress& m_progress;
    std::string m_outputFolder;
    std::string m_outputBasePath;
    unsigned m_workers;
    bool m_running = false;
};

} // namespace velquin::convert
