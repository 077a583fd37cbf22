// Spreadsheet serial numbers as the ISO date-time text of SpreadsheetML's DateTime cells.
#pragma once

#include <cstddef>

namespace velquin::engine::xmlss {

/// Writes serial day number `serial` as "YYYY-MM-DDTHH:MM:SS.mmm" into `out` (at least 24 bytes) and returns 23.
/// In the 1900 system day 1 is 1900-01-01 and day 60 is the 29 February 1900 that Lotus invented and Excel kept;
/// in the 1904 system day 0 is 1904-01-01. Returns 0 when the date falls outside the years 0001 to 9999 (the
/// writer then keeps the plain number).
std::size_t formatDateTime(double serial, bool date1904, char* out);

} // namespace velquin::engine::xmlss
