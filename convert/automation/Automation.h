// The automation layer: the seven operations a conversion drives (create the application, Workbooks, Open,
// DisplayAlerts, SaveAs, Close, Quit). Each operation succeeds or gives an error with a number and a description.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace velquin::convert {

/// A failed automation step. Numbers greater than 0 are errors the user is told about; 0 or less are not.
struct AutomationError
{
    std::int32_t number = 0;
    std::string description;
};

/// nothing = the step succeeded.
using AutomationStatus = std::optional<AutomationError>;

/// The SpreadsheetML 2003 file format number of SaveAs; any other number is an error.
inline constexpr std::int32_t kXmlSpreadsheetFormat = 46;

class Workbook
{
public:
    virtual ~Workbook() = default;
    /// Writes the workbook to `path` in `FileFormat` (only 46 is supported). With alerts off an existing file is
    /// replaced; a failed save leaves no partial file and keeps the old one.
    virtual AutomationStatus SaveAs(const std::string& path, std::int32_t FileFormat) = 0;
    virtual AutomationStatus Close() = 0;
};

/// Asks for the password of an encrypted workbook, as Open does while alerts are on. Passwords pass through and
/// are never kept in any file or log.
class PasswordSource
{
public:
    virtual ~PasswordSource() = default;
    /// The next password to try for the workbook at `path`, or nothing to give up. `lastFailed` is true when the
    /// password given before for this workbook did not open it. Called on the thread that runs Open, one workbook
    /// at a time.
    virtual std::optional<std::string> ask(const std::string& path, bool lastFailed) = 0;
};

class Workbooks
{
public:
    virtual ~Workbooks() = default;
    /// Opens the workbook at `path`; on success `workbook` holds it. An encrypted workbook opens with the built-in
    /// default password, else with one that `passwords` gives; without `passwords` nobody is asked.
    virtual AutomationStatus Open(const std::string& path, std::unique_ptr<Workbook>& workbook,
                                  PasswordSource* passwords = nullptr) = 0;
};

class Application
{
public:
    virtual ~Application() = default;
    /// The collection of open workbooks; on success `workbooks` points to it (owned by the application).
    virtual AutomationStatus Workbooks(convert::Workbooks*& workbooks) = 0;
    virtual AutomationStatus setDisplayAlerts(bool DisplayAlerts) = 0;
    virtual AutomationStatus Quit() = 0;
};

/// Creates application objects ("create the application" step). Tests replace it with a fake.
class ApplicationFactory
{
public:
    virtual ~ApplicationFactory() = default;
    virtual AutomationStatus create(std::unique_ptr<Application>& application) = 0;
};

} // namespace velquin::convert
