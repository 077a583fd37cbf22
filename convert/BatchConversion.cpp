// The Convert command and the conversion of one workbook over the automation layer.
#include "convert/BatchConversion.h"

#include "common/MessageBox.h"
#include "common/PathType.h"
#include "convert/ConversionQueue.h"
#include "convert/OutputName.h"
#include "engine/Error.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <map>
#include <new>
#include <thread>

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

AutomationStatus runAutomation(ApplicationFactory& automation, const std::string& inputPath,
                               const std::string& outputBasePath, std::unique_ptr<Application>& application,
                               std::unique_ptr<Workbook>& workbook, bool& closed)
{
    if (auto error = automation.create(application))
        return error;
    if (!application)
        return engineError(engine::EngineErrc::InvalidState, "(no application object)");
    convert::Workbooks* workbooks = nullptr;
    if (auto error = application->Workbooks(workbooks))
        return error;
    if (!workbooks)
        return engineError(engine::EngineErrc::InvalidState, "(no Workbooks collection)");
    if (auto error = workbooks->Open(inputPath, workbook))
        return error;
    if (!workbook)
        return engineError(engine::EngineErrc::InvalidState, "(no workbook object)");
    // Alerts go off only after Open, so that opening still behaves as with alerts on.
    if (auto error = application->setDisplayAlerts(false))
        return error;
    const std::string outputPath = outputBasePath + ".xml";
    if (auto error = workbook->SaveAs(outputPath, kXmlSpreadsheetFormat))
        return error;
    if (auto error = workbook->Close())
        return error;
    closed = true;
    return application->Quit();
}

} // namespace

BatchConversion::BatchConversion(platform::Platform& platform, common::MessageBox& messageBox,
                                 ApplicationFactory& automation, const WorkbookLists& lists, BatchProgress& progress,
                                 unsigned workers)
    : m_platform(platform), m_messageBox(messageBox), m_automation(automation), m_lists(lists), m_progress(progress),
      m_workers(workers != 0 ? workers : std::max(1u, std::thread::hardware_concurrency()))
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
    convertChecked(count);
    m_platform.shellOpen(m_outputFolder, platform::kShowNormal);
}

/// The entries of the workbook list as the batch handles them, and which entry last took each output name.
struct BatchConversion::Batch
{
    struct Entry
    {
        bool checked = false;
        std::string baseName;
        std::string outputBasePath;
    };
    std::vector<Entry> entries;
    std::map<std::string, std::int32_t> lastWithName;
};

void BatchConversion::convertChecked(std::int32_t count)
{
    // How long the window waits for a conversion before it repaints.
    constexpr std::chrono::milliseconds kRepaintInterval{40};
    Batch batch;
    batch.entries.resize(static_cast<std::size_t>(count) + 1);
    ConversionQueue queue(m_workers);
    std::int32_t next = 1;  // the next entry to start
    std::int32_t shown = 1; // the next entry whose result the user sees
    while (shown <= count)
    {
        const std::uint64_t seen = queue.changes();
        while (next <= count && queue.running() < queue.capacity() && startNext(queue, next, batch))
            ++next;
        if (next > shown && showNext(queue, shown, batch))
            ++shown;
        else if (!queue.serve(shown) && !queue.waitForChange(seen, kRepaintInterval))
            m_progress.repaintNow();
    }
}

bool BatchConversion::startNext(ConversionQueue& queue, std::int32_t index, Batch& batch)
{
    Batch::Entry& entry = batch.entries[static_cast<std::size_t>(index)];
    entry.checked = m_lists.workbookChecked(index);
    if (!entry.checked)
        return true;
    if (entry.outputBasePath.empty())
    {
        entry.baseName = outputBaseName(m_lists.workbookText(index));
        entry.outputBasePath = outputBasePath(m_platform, m_outputFolder, entry.baseName);
    }
    // A workbook given the name of an earlier one still converting waits for it, so the later one replaces it.
    const auto earlier = batch.lastWithName.find(entry.outputBasePath);
    if (earlier != batch.lastWithName.end() && earlier->second != index && !queue.finished(earlier->second))
        return false;
    batch.lastWithName[entry.outputBasePath] = index;
    m_outputBasePath = entry.outputBasePath;
    const std::string inputPath = GetInputFilePath(index);
    if (inputPath.empty())
    {
        queue.finish(index, {ConversionResult::NoInput, std::nullopt});
        return true;
    }
    queue.start(index, [this, inputPath, output = entry.outputBasePath](WindowCalls& window) {
        return convertWithAutomation(m_automation, inputPath, output, window);
    });
    return true;
}

bool BatchConversion::showNext(ConversionQueue& queue, std::int32_t index, const Batch& batch)
{
    const Batch::Entry& entry = batch.entries[static_cast<std::size_t>(index)];
    if (entry.checked)
    {
        const std::optional<ConversionOutcome> outcome = queue.take(index);
        if (!outcome)
            return false;
        tell(*outcome);
        if (outcome->result != ConversionResult::Converted)
            m_messageBox.show("Convert " + entry.baseName + " file failed!", MessageIcon::Critical);
    }
    m_progress.setProgressValue(index);
    m_progress.repaintNow();
    return true;
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
    DirectWindowCalls window;
    const ConversionOutcome outcome = convertWithAutomation(m_automation, inputPath, m_outputBasePath, window);
    tell(outcome);
    return outcome.result;
}

void BatchConversion::tell(const ConversionOutcome& outcome)
{
    if (outcome.result == ConversionResult::AutomationFailed && outcome.error)
        m_messageBox.show(outcome.error->description, MessageIcon::None);
}

ConversionOutcome convertWithAutomation(ApplicationFactory& automation, const std::string& inputPath,
                                        const std::string& outputBasePath, WindowCalls& /*window*/)
{
    // Declared in this order so that the workbook is released before its application on every way out.
    std::unique_ptr<Application> application;
    std::unique_ptr<Workbook> workbook;
    bool closed = false;
    AutomationStatus error;
    try
    {
        error = runAutomation(automation, inputPath, outputBasePath, application, workbook, closed);
    }
    catch (const std::bad_alloc&)
    {
        error = engineError(engine::EngineErrc::OutOfMemory);
    }
    catch (const std::exception& e)
    {
        error = engineError(engine::EngineErrc::InvalidState, e.what());
    }
    if (!error)
    {
        workbook.reset();
        application.reset();
        return {ConversionResult::Converted, std::nullopt};
    }
    if (error->number <= 0)
        return {ConversionResult::Failed, std::nullopt};

    // The user is told by the batch; a clean-up step that fails as well changes neither the message nor the result.
    try
    {
        if (workbook && !closed)
            (void)workbook->Close();
        if (application)
            (void)application->Quit();
    }
    catch (const std::exception&)
    {}
    return {ConversionResult::AutomationFailed, std::move(error)};
}

} // namespace velquin::convert
