// Delimited text as Excel opens it: fields separated by tabs, or by commas when the text holds no tab; fields in
// double quotes may hold separators, line breaks and doubled quotes; every field typed as Excel's import types it.
#pragma once

#include "engine/Error.h"
#include "engine/text/MemoryWorkbook.h"
#include "engine/text/TypedValue.h"

#include <string_view>

namespace velquin::engine::text {

/// Reads UTF-8 `text` into a new sheet named `sheetName` of `workbook`. Errors: LimitExceeded (too many cells,
/// rows or columns), Timeout.
Status readDelimitedText(std::string_view text, std::string_view sheetName, DateOrder order, MemoryWorkbook& workbook);

/// The separator Excel picks for `text`: a tab when there is one, else a comma.
char delimiterOf(std::string_view text);

} // namespace velquin::engine::text
