// What the conversion of one workbook gives back to the batch.
#pragma once

#include "convert/automation/Automation.h"

#include <cstdint>

namespace velquin::convert {

/// What ConvertWorkbook gives; the batch treats everything but Converted as a failure.
enum class ConversionResult : std::int32_t
{
    Failed = 0,           ///< a step failed with an error number of 0 or less: nothing shown, nothing cleaned up
    Converted = 1,        ///< the XML file was written, the workbook closed and the application quit
    AutomationFailed = 2, ///< a step failed with a positive number; its description is shown
    NoInput = 3,          ///< the workbook behind the entry is not there; no application was started
};

/// The result of one conversion and, for AutomationFailed, the error whose description the user is shown.
struct ConversionOutcome
{
    ConversionResult result = ConversionResult::Failed;
    AutomationStatus error;
};

} // namespace velquin::convert
