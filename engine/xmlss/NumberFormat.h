// Number formats as SpreadsheetML 2003 names them, and which of them show dates and times.
#pragma once

#include <string>
#include <string_view>

namespace velquin::engine::xmlss {

/// The ss:Format value Excel writes for a format: a name such as "Fixed" or "Short Date" for the formats that
/// have one, the format code itself for the others, and "" for General (no attribute).
/// `builtinId` is the built-in format number, or -1 for a format the workbook defines itself.
std::string excelFormatName(std::string_view code, int builtinId);

/// The format code as Excel spells it: date and time letters in lower case, colour names capitalised
/// ("[RED]YYYY" -> "[Red]yyyy"), "General" in any case as "General"; quoted and escaped text unchanged.
std::string normalizeFormatCode(std::string_view code);

/// True when a number in this format shows a date or a time (d, m, y, h, s or an AM/PM marker outside quoted text,
/// escaped characters and bracketed colours or conditions; "[h]" and the other elapsed-time codes count).
bool isDateFormat(std::string_view code);

} // namespace velquin::engine::xmlss
