// Engine errors: stable positive numbers, a description for each, and a status value that carries one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velquin::engine {

/// Error numbers of the engine. They are shown to users and must never be renumbered or reused.
enum class EngineErrc : std::int32_t
{
    None = 0,
    FileNotFound = 1001,      ///< the input workbook does not exist
    FileUnreadable = 1002,    ///< the input exists but cannot be opened or read (permissions, I/O error)
    NotAWorkbook = 1003,      ///< the bytes are not a workbook of any format the engine knows
    UnsupportedFormat = 1004, ///< a workbook format the engine does not read (Excel 2-4, ...)
    EncryptedWorkbook = 1005, ///< the workbook is protected by a password
    DamagedFile = 1006,       ///< the workbook is truncated or inconsistent
    LimitExceeded = 1007,     ///< the workbook exceeds a safety limit (size, count, depth)
    OutputNotWritable = 1008, ///< the output file cannot be created or written
    DiskFull = 1009,          ///< the disk filled up while the output was written
    InvalidFileFormat = 1010, ///< SaveAs was asked for a file format other than SpreadsheetML 2003 (46)
    Timeout = 1011,           ///< the conversion took longer than allowed
    OutOfMemory = 1012,       ///< memory ran out during the conversion
    InvalidState = 1013,      ///< an operation was called on a closed workbook or a quit application
};

/// The user-facing sentence for an error number, without detail.
std::string_view describe(EngineErrc code);

/// Result of an engine operation: success, or an error number with detail saying where it happened.
class Status
{
public:
    Status() = default;
    Status(EngineErrc code, std::string detail) : m_code(code), m_detail(std::move(detail)) {}

    static Status ok() { return {}; }

    explicit operator bool() const { return m_code == EngineErrc::None; }
    EngineErrc code() const { return m_code; }
    const std::string& detail() const { return m_detail; }
    /// describe(code()) followed by the detail, e.g. "The file is damaged: record 0x0208 at offset 1234 is truncated."
    std::string description() const;

private:
    EngineErrc m_code = EngineErrc::None;
    std::string m_detail;
};

} // namespace velquin::engine
