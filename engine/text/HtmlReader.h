// Web pages as Excel opens them: Excel's own (with x: attributes and mso- styles) and plain HTML tables as web
// applications export them. The page becomes one worksheet: its tables one after another, text between them in
// the first column; cells typed as Excel types typed-in text unless the page says the type (x:num, x:str,
// x:bool, x:err, x:fmla); colspan and rowspan become merges, links become hyperlinks.
#pragma once

#include "engine/Error.h"
#include "engine/text/MemoryWorkbook.h"
#include "engine/text/TypedValue.h"

#include <string_view>

namespace velquin::engine::text {

/// True when UTF-8 `text` begins (after white space and comments) like an HTML document.
bool looksLikeHtml(std::string_view text);

/// Reads UTF-8 `text` with libxml2's HTML parser into `workbook`; the sheet is named after the page's own
/// worksheet name (Excel's x:Name) or else `fallbackName`. Errors: LimitExceeded, OutOfMemory, Timeout.
Status readHtml(std::string_view text, std::string_view fallbackName, DateOrder order, MemoryWorkbook& workbook);

} // namespace velquin::engine::text
