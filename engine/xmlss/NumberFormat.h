// Number formats as SpreadsheetML 2003 names them, and which of them show dates and times.
#pragma once

#include <string>
#include <string_view>

namespace velquin::engine::xmlss {

/// The ss:Format value Excel writes for a format: a name such as "Fixed" or "Short Date" for the formats that
/// have one, the format code as Excel spells it for the others, and "" for General (no attribute) and for codes
/// Excel cannot use.
/// `builtinId` is the built-in format number, or -1 for a format the workbook defines itself.
std::string excelFormatName(std::string_view code, int builtinId);

/// The format code as Excel spells it: date and time letters in lower case, colour names capitalised
/// ("[RED]YYYY" -> "[Red]yyyy"), "General" in any case as "General", and a backslash before the literal characters
/// Excel marks ("-" other than an exponent's sign, space, parentheses, currency signs, and "," in a date or time
/// section: "yyyy-mm-dd" -> "yyyy\-mm\-dd"); quoted and escaped text unchanged.
std::string normalizeFormatCode(std::string_view code);

/// False for a code Excel refuses to load, whose cells it then shows in General: more than four sections, a quoted
/// literal or bracket that never closes, more than one elapsed-time code ("[h]", "[mm]", "[s]") in a section, one
/// after an hour code ("hh[mm]"), or one beside the ordinary code of its own unit ("[h] h").
bool isUsableFormat(std::string_view code);

/// True when a number in this format shows a date or a time (d, m, y, h, s or an AM/PM marker outside quoted text,
/// escaped characters and bracketed colours or conditions; "[h]" and the other elapsed-time codes count).
bool isDateFormat(std::string_view code);

} // namespace velquin::engine::xmlss
