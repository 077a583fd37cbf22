// Text typed into a cell, typed as Excel types what it imports from text files and web pages: numbers (leading
// zeros dropped, thousands separators, percent, currency, exponents, negative numbers in parentheses), dates and
// times in the machine's order of day and month, TRUE and FALSE, and error values.
#pragma once

#include "engine/model/Sheet.h"

#include <string>
#include <string_view>

namespace velquin::engine::text {

/// The order in which a numeric date names day, month and year.
enum class DateOrder
{
    MonthDayYear,
    DayMonthYear,
    YearMonthDay
};

/// The machine's date order, from the locale's date format (LC_TIME); month first when it says nothing.
DateOrder localeDateOrder();

struct TypedValue
{
    model::CellType type = model::CellType::String;
    double number = 0;
    bool boolean = false;
    std::string_view error;   ///< for Error: the error's text
    int formatId = 0;         ///< built-in number format the value implies (0 = General)
};

/// Types `text`; a value that is none of the above stays a String.
TypedValue typeValue(std::string_view text, DateOrder order);

/// The serial number of a date in the 1900 date system (1900-03-01 is 61), or a negative number for a date before
/// 1900-01-01 or an invalid one.
double serialFromDate(int year, int month, int day);

} // namespace velquin::engine::text
