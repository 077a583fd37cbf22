// A stand-in for the automation layer: records the operations it is asked for, fails the ones a test names, and
// "writes" each saved file through a callback. Conversions may use it from several threads at once.
#pragma once

#include "convert/automation/Automation.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace velquin::test {

class FakeAutomation : public convert::ApplicationFactory
{
public:
    struct Failure
    {
        std::string operation;     ///< "create", "Workbooks", "Open", "DisplayAlerts", "SaveAs", "Close", "Quit"
        std::string inputContains; ///< only for conversions whose input path contains this; empty = every one
        convert::AutomationError error;
    };

    /// Makes `operation` fail (every time) with `number` and `description`.
    void fail(std::string operation, std::int32_t number, std::string description, std::string inputContains = {})
    {
        failures.push_back({std::move(operation), std::move(inputContains), {number, std::move(description)}});
    }

    convert::AutomationStatus create(std::unique_ptr<convert::Application>& application) override;

    /// Every operation in the order asked, e.g. "Open /in/a.xls", "SaveAs /out/a.xml 46", "~Workbook".
    std::vector<std::string> calls;
    std::vector<Failure> failures;
    /// Called for each successful SaveAs with the input and output paths.
    std::function<void(const std::string& input, const std::string& output)> onSave;
    /// Called at the start of each create (tests use it to act in the middle of a batch).
    std::function<void()> onCreate;

    /// Records an operation; safe from any thread.
    void record(std::string call)
    {
        const std::lock_guard lock(m_mutex);
        calls.push_back(std::move(call));
    }

    convert::AutomationStatus check(const std::string& operation, const std::string& input)
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& f : failures)
        {
            if (f.operation == operation && input.find(f.inputContains) != std::string::npos)
                return f.error;
        }
        return std::nullopt;
    }

private:
    std::mutex m_mutex;
    class FakeWorkbook;
    class FakeWorkbooks;
    class FakeApplication;
};

class FakeAutomation::FakeWorkbook : public convert::Workbook
{
public:
    FakeWorkbook(FakeAutomation& owner, std::string input) : m_owner(owner), m_input(std::move(input)) {}
    ~FakeWorkbook() override { m_owner.record("~Workbook"); }
    convert::AutomationStatus SaveAs(const std::string& path, std::int32_t FileFormat) override
    {
        m_owner.record("SaveAs " + path + " " + std::to_string(FileFormat));
        auto error = m_owner.check("SaveAs", m_input);
        if (!error && m_owner.onSave)
            m_owner.onSave(m_input, path);
        return error;
    }
    convert::AutomationStatus Close() override
    {
        m_owner.record("Close");
        return m_owner.check("Close", m_input);
    }

private:
    FakeAutomation& m_owner;
    std::string m_input;
};

class FakeAutomation::FakeWorkbooks : public convert::Workbooks
{
public:
    explicit FakeWorkbooks(FakeAutomation& owner) : m_owner(owner) {}
    convert::AutomationStatus Open(const std::string& path, std::unique_ptr<convert::Workbook>& workbook) override
    {
        m_owner.record("Open " + path);
        m_input = path;
        if (auto error = m_owner.check("Open", path))
            return error;
        workbook = std::make_unique<FakeWorkbook>(m_owner, path);
        return std::nullopt;
    }
    const std::string& input() const { return m_input; }

private:
    FakeAutomation& m_owner;
    std::string m_input;
};

class FakeAutomation::FakeApplication : public convert::Application
{
public:
    explicit FakeApplication(FakeAutomation& owner) : m_owner(owner), m_workbooks(owner) {}
    ~FakeApplication() override { m_owner.record("~Application"); }
    convert::AutomationStatus Workbooks(convert::Workbooks*& workbooks) override
    {
        m_owner.record("Workbooks");
        workbooks = &m_workbooks;
        return m_owner.check("Workbooks", "");
    }
    convert::AutomationStatus setDisplayAlerts(bool DisplayAlerts) override
    {
        m_owner.record(std::string("DisplayAlerts ") + (DisplayAlerts ? "1" : "0"));
        return m_owner.check("DisplayAlerts", m_workbooks.input());
    }
    convert::AutomationStatus Quit() override
    {
        m_owner.record("Quit");
        return m_owner.check("Quit", m_workbooks.input());
    }

private:
    FakeAutomation& m_owner;
    FakeWorkbooks m_workbooks;
};

inline convert::AutomationStatus FakeAutomation::create(std::unique_ptr<convert::Application>& application)
{
    if (onCreate)
        onCreate();
    record("create");
    if (auto error = check("create", ""))
        return error;
    application = std::make_unique<FakeApplication>(*this);
    return std::nullopt;
}

} // namespace velquin::test
