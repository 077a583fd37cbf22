// Descriptions of the engine's error numbers.
#include "engine/Error.h"

namespace velquin::engine {

std::string_view describe(EngineErrc code)
{
    switch (code)
    {
    case EngineErrc::None:
        return "No error.";
    case EngineErrc::FileNotFound:
        return "The workbook file was not found.";
    case EngineErrc::FileUnreadable:
        return "The workbook file cannot be read.";
    case EngineErrc::NotAWorkbook:
        return "The file is not an Excel workbook.";
    case EngineErrc::UnsupportedFormat:
        return "The workbook is in a format that cannot be converted.";
    case EngineErrc::EncryptedWorkbook:
        return "The workbook is encrypted with a password and cannot be converted.";
    case EngineErrc::DamagedFile:
        return "The workbook file is damaged.";
    case EngineErrc::LimitExceeded:
        return "The workbook is too large or too complex to convert safely.";
    case EngineErrc::OutputNotWritable:
        return "The output file cannot be written.";
    case EngineErrc::DiskFull:
        return "The disk is full; the output file was not written.";
    case EngineErrc::InvalidFileFormat:
        return "The requested output file format is not supported.";
    case EngineErrc::Timeout:
        return "The conversion took too long and was stopped.";
    case EngineErrc::OutOfMemory:
        return "There is not enough memory to convert the workbook.";
    case EngineErrc::InvalidState:
        return "The workbook is not open.";
    }
    return "Unknown error.";
}

std::string Status::description() const
{
    std::string text(describe(m_code));
    if (!m_detail.empty())
    {
        text += ' ';
        text += m_detail;
    }
    return text;
}

} // namespace velquin::engine
