// The Convert command and the conversion of one workbook over the automation layer.
#include "convert/BatchConversion.h"

#include "common/MessageBox.h"
#include "common/PathType.h"
#include "convert/OutputName.h"
#include "engine/Error.h"
#include "engine/crypto/PasswordTrial.h"
#include "platform/Platform.h"

#include <exception>
#include <new>

namespace velquin::convert {

namespace {

using common::MessageIcon;
using common::PathType;

AutomationError engineError(engine::EngineErrc code, std::string_view detail = {})
{
    std::string description(engine::describe(code));
    if (!detail.empty())
    {
        description += ' ';
        description += detail;
    }
    return {static_cast<std::int32_t>(code), std::move(description)};
}

// Every way out of the command leaves the progress bar at 0 and the default pointer, and allows the next start.
class CommandEnd
{
public:
    CommandEnd(BatchProgress& progress, bool& running) : m_progress(progress), m_running(running) { m_running = true; }
    ~CommandEnd()
    {
        m_progress.setProgressValue(0);
        m_progress.setBusy(false);
        m_running = false;
    }
    CommandEnd(const CommandEnd&) = delete;
    CommandEnd& operator=(const CommandEnd&) = delete;

private:
    BatchProgress& m_progress;
    bool& m_running;
};

} // namespace

BatchConversion::BatchConversion(platform::Platform& platform, common::MessageBox& messageBox,
                                 ApplicationFactory& automation, const WorkbookLists& lists, BatchProgress& progress)
    : m_platform(platform), m_messageBox(messageBox), m_automation(automation), m_lists(lists), m_progress(progress)
{}

void BatchConversion::Command6_Click()
{
    // The window repaints during a batch; a click that still reaches us then must not start a batch inside a batch.
    if (m_running)
        return;
    CommandEnd end(m_progress, m_running);

    const std::int32_t count = m_lists.workbookCount();
    if (count < 1)
    {
        m_messageBox.show("Please select excel at fast!", MessageIcon::Information);
        return;
    }
    m_progress.setProgressMaximum(count);
    if (!CheckOutputFolder())
        return;
    m_progress.setBusy(true);
    m_batchPasswords.reset(m_userPasswords);
    convertChecked(count);
    m_platform.shellOpen(m_outputFolder, platform::kShowNormal);
}

void BatchConversion::convertChecked(std::int32_t count)
{
    for (std::int32_t index = 1; index <= count; ++index)
    {
        if (m_lists.workbookChecked(index))
        {
            const std::string baseName = outputBaseName(m_lists.workbookText(index));
            m_outputBasePath = outputBasePath(m_platform, m_outputFolder, baseName);
            if (ConvertWorkbook(index) != ConversionResult::Converted)
                m_messageBox.show("Convert " + baseName + " file failed!", MessageIcon::Critical);
        }
        m_progress.setProgressValue(index);
        m_progress.repaintNow();
    }
}

bool BatchConversion::CheckOutputFolder()
{
    m_outputFolder = m_lists.outputText();
    const std::int32_t listIndex = m_lists.outputListIndex();
    if (m_outputFolder.empty())
    {
        m_messageBox.show("Please select output folder", MessageIcon::Information);
        return false;
    }
    // A remembered folder is never created again: it was deleted (or is a file) and the user should know.
    if (common::GetPathType(m_platform, m_outputFolder) != PathType::Folder && listIndex != -1)
    {
        m_messageBox.show("Folder does not exist!", MessageIcon::Critical);
        return false;
    }
    while (!m_outputFolder.empty() && m_outputFolder.back() == '/')
        m_outputFolder.pop_back();
    if (common::GetPathType(m_platform, m_outputFolder) != PathType::Folder && listIndex == -1 &&
        m_platform.createFolder(m_outputFolder) != platform::FsError::None)
    {
        m_messageBox.show("Failed to create folder!", MessageIcon::Critical);
        return false;
    }
    m_outputFolder += '/';
    return true;
}

std::string BatchConversion::GetInputFilePath(std::int32_t index) const
{
    std::string source;
    if (m_lists.inputCount() >= 1)
        source = m_lists.selectedInput().value_or(std::string());
    std::string entry;
    if (m_lists.workbookCount() >= 1)
        entry = m_lists.workbookText(index);

    switch (common::GetPathType(m_platform, source))
    {
    case PathType::File:
        return source;
    case PathType::Folder: {
        std::string candidate = source + "/" + entry;
        return common::GetPathType(m_platform, candidate) == PathType::File ? candidate : std::string();
    }
    case PathType::Missing:
        break;
    }
    return {};
}

ConversionResult BatchConversion::ConvertWorkbook(std::int32_t index)
{
    const std::string inputPath = GetInputFilePath(index);
    if (inputPath.empty())
        return ConversionResult::NoInput;

    // Declared in this order so that the workbook is released before its application on every way out.
    std::unique_ptr<Application> application;
    std::unique_ptr<Workbook> workbook;
    bool closed = false;
    AutomationStatus error;
    try
    {
        error = runAutomation(inputPath, application, workbook, closed);
    }
    catch (const std::bad_alloc&)
    {
        error = engineError(engine::EngineErrc::OutOfMemory);
    }
    catch (const std::exception& e)
    {
        error = engineError(engine::EngineErrc::InvalidState, e.what());
    }
    if (error && error->number == static_cast<std::int32_t>(engine::EngineErrc::EncryptedWorkbook) &&
        m_batchPasswords.userCancelled())
        error->description =
            engine::Status(engine::EngineErrc::EncryptedWorkbook, std::string(engine::kPasswordNeeded)).description();
    if (!error)
    {
        workbook.reset();
        application.reset();
        return ConversionResult::Converted;
    }
    if (error->number <= 0)
        return ConversionResult::Failed;

    m_messageBox.show(error->description, MessageIcon::None);
    // The user has been told; a clean-up step that fails as well changes neither the message nor the result.
    try
    {
        if (workbook && !closed)
            (void)workbook->Close();
        if (application)
            (void)application->Quit();
    }
    catch (const std::exception&)
    {}
    return ConversionResult::AutomationFailed;
}

AutomationStatus BatchConversion::runAutomation(const std::string& inputPath, std::unique_ptr<Application>& application,
                                                std::unique_ptr<Workbook>& workbook, bool& closed)
{
    if (auto error = m_automation.create(application))
        return error;
    if (!application)
        return engineError(engine::EngineErrc::InvalidState, "(no application object)");
    convert::Workbooks* workbooks = nullptr;
    if (auto error = application->Workbooks(workbooks))
        return error;
    if (!workbooks)
        return engineError(engine::EngineErrc::InvalidState, "(no Workbooks collection)");
    if (auto error = workbooks->Open(inputPath, workbook, m_userPasswords ? &m_batchPasswords : nullptr))
        return error;
    if (!workbook)
        return engineError(engine::EngineErrc::InvalidState, "(no workbook object)");
    // Alerts go off only after Open, so that opening still behaves as with alerts on.
    if (auto error = application->setDisplayAlerts(false))
        return error;
    const std::string outputPath = m_outputBasePath + ".xml";
    if (auto error = workbook->SaveAs(outputPath, kXmlSpreadsheetFormat))
        return error;
    if (auto error = workbook->Close())
        return error;
    closed = true;
    return application->Quit();
}

} // namespace velquin::convert
