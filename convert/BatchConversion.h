// The Convert command: checks the output folder, converts the checked workbooks of the selected source one after
// another through the automation layer, and reports each failure while the batch goes on.
#pragma once

#include "convert/BatchPasswords.h"
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

/// What ConvertWorkbook gives; the batch treats everything but Converted as a failure.
enum class ConversionResult : std::int32_t
{
    Failed = 0,           ///< a step failed with an error number of 0 or less: nothing shown, nothing cleaned up
    Converted = 1,        ///< the XML file was written, the workbook closed and the application quit
    AutomationFailed = 2, ///< a step failed with a positive number; its description was shown
    NoInput = 3,          ///< the workbook behind the entry is not there; no application was started
};

class BatchConversion
{
public:
    BatchConversion(platform::Platform& platform, common::MessageBox& messageBox, ApplicationFactory& automation,
                    const WorkbookLists& lists, BatchProgress& progress);

    /// The Convert command (the Command6 button and the Separate menu item). A second start while a batch runs
    /// does nothing.
    void Command6_Click();
    bool running() const { return m_running; }

    /// Takes the text of Combo2 as the output folder, creating a typed folder (one level). True when the folder
    /// exists afterwards; OutputFolder then ends with exactly one "/". False after a message.
    bool CheckOutputFolder();
    /// The full path of the workbook behind the ListView2 entry at `index` (1-based), or "" when it is not there.
    std::string GetInputFilePath(std::int32_t index) const;
    /// Converts the workbook behind the ListView2 entry at `index` into OutputBasePath() + ".xml".
    ConversionResult ConvertWorkbook(std::int32_t index);

    /// Who is asked for the passwords of encrypted workbooks (nobody when nullptr). Within one batch a password
    /// that opened a workbook is offered first for the next ones.
    void setPasswordSource(PasswordSource* passwords) { m_userPasswords = passwords; }

    const std::string& OutputFolder() const { return m_outputFolder; }
    const std::string& OutputBasePath() const { return m_outputBasePath; }
    void setOutputBasePath(std::string path) { m_outputBasePath = std::move(path); }

private:
    void convertChecked(std::int32_t count);
    AutomationStatus runAutomation(const std::string& inputPath, std::unique_ptr<Application>& application,
                                   std::unique_ptr<Workbook>& workbook, bool& closed);

    platform::Platform& m_platform;
    common::MessageBox& m_messageBox;
    ApplicationFactory& m_automation;
    const WorkbookLists& m_lists;
    BatchProgress& m_progress;
    std::string m_outputFolder;
    std::string m_outputBasePath;
    PasswordSource* m_userPasswords = nullptr;
    BatchPasswords m_batchPasswords;
    bool m_running = false;
};

} // namespace velquin::convert
