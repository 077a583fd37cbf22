// Application, Workbooks and Workbook over the engine.
#include "convert/automation/EngineAutomation.h"

#include "engine/Engine.h"

#include <new>

namespace velquin::convert {

namespace {

using engine::EngineErrc;
using engine::Status;

AutomationError toAutomationError(const Status& status)
{
    return {static_cast<std::int32_t>(status.code()), status.description()};
}

AutomationError invalidState(const char* detail)
{
    return toAutomationError(Status(EngineErrc::InvalidState, detail));
}

/// What an application and its workbooks share: whether Quit has ended them all.
struct ApplicationState
{
    bool quit = false;
    bool displayAlerts = true;
    EngineAutomationOptions options;
};

class EngineWorkbook : public Workbook
{
public:
    EngineWorkbook(std::shared_ptr<ApplicationState> application, std::unique_ptr<engine::model::WorkbookReader> reader,
                   std::chrono::steady_clock::time_point deadline)
        : m_application(std::move(application)), m_reader(std::move(reader)), m_deadline(deadline)
    {}

    AutomationStatus SaveAs(const std::string& path, std::int32_t FileFormat) override
    {
        if (AutomationStatus usable = checkOpen())
            return usable;
        if (FileFormat != kXmlSpreadsheetFormat)
            return toAutomationError(Status(EngineErrc::InvalidFileFormat,
                                            "File format " + std::to_string(FileFormat) + " was requested; only " +
                                                std::to_string(kXmlSpreadsheetFormat) + " is supported."));
        const Status saved =
            engine::saveAsSpreadsheetMl(*m_reader, path, m_deadline, m_application->options.durability);
        if (!saved)
            return toAutomationError(saved);
        return std::nullopt;
    }

    AutomationStatus Close() override
    {
        if (AutomationStatus usable = checkOpen())
            return usable;
        m_reader.reset();
        return std::nullopt;
    }

private:
    AutomationStatus checkOpen() const
    {
        if (m_application->quit)
            return invalidState("The application has quit.");
        if (!m_reader)
            return invalidState("The workbook has been closed.");
        return std::nullopt;
    }

    std::shared_ptr<ApplicationState> m_application;
    std::unique_ptr<engine::model::WorkbookReader> m_reader;
    std::chrono::steady_clock::time_point m_deadline;
};

class EngineWorkbooks : public Workbooks
{
public:
    explicit EngineWorkbooks(std::shared_ptr<ApplicationState> application) : m_application(std::move(application)) {}

    AutomationStatus Open(const std::string& path, std::unique_ptr<Workbook>& workbook,
                          PasswordSource* passwords) override
    {
        if (m_application->quit)
            return invalidState("The application has quit.");
        auto deadline = std::chrono::steady_clock::time_point::max();
        if (m_application->options.timeout.count() > 0)
            deadline = std::chrono::steady_clock::now() + m_application->options.timeout;
        std::unique_ptr<engine::model::WorkbookReader> reader;
        const auto& open = m_application->options.open;
        engine::PasswordPrompt prompt;
        if (passwords)
            prompt = [passwords, &path](bool lastFailed) { return passwords->ask(path, lastFailed); };
        const Status opened = open ? open(path, reader) : engine::openWorkbook(path, reader, deadline, prompt);
        if (!opened)
            return toAutomationError(opened);
        if (!reader)
            return toAutomationError(Status(EngineErrc::DamagedFile, path));
        if (std::chrono::steady_clock::now() >= deadline)
            return toAutomationError(Status(EngineErrc::Timeout, {}));
        workbook = std::make_unique<EngineWorkbook>(m_application, std::move(reader), deadline);
        return std::nullopt;
    }

private:
    std::shared_ptr<ApplicationState> m_application;
};

class EngineApplication : public Application
{
public:
    explicit EngineApplication(EngineAutomationOptions options)
        : m_state(std::make_shared<ApplicationState>()), m_workbooks(m_state)
    {
        m_state->options = options;
    }

    AutomationStatus Workbooks(convert::Workbooks*& workbooks) override
    {
        if (m_state->quit)
            return invalidState("The application has quit.");
        workbooks = &m_workbooks;
        return std::nullopt;
    }

    AutomationStatus setDisplayAlerts(bool DisplayAlerts) override
    {
        if (m_state->quit)
            return invalidState("The application has quit.");
        // Without a user to ask, an existing output is always replaced; the flag is kept for symmetry only.
        m_state->displayAlerts = DisplayAlerts;
        return std::nullopt;
    }

    AutomationStatus Quit() override
    {
        if (m_state->quit)
            return invalidState("The application has already quit.");
        m_state->quit = true;
        return std::nullopt;
    }

private:
    std::shared_ptr<ApplicationState> m_state;
    EngineWorkbooks m_workbooks;
};

} // namespace

AutomationStatus EngineApplicationFactory::create(std::unique_ptr<Application>& application)
{
    try
    {
        application = std::make_unique<EngineApplication>(m_options);
        return std::nullopt;
    }
    catch (const std::bad_alloc&)
    {
        return toAutomationError(Status(EngineErrc::OutOfMemory, {}));
    }
}

} // namespace velquin::convert
