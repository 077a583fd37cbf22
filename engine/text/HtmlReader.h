// Web pages as Excel opens them: Excel's own (with x: attributes and mso- styles) and plain HTML tables as web
// applications export them. The page becomes one worksheet: its tables one after another, text between them in
// the first column; cells typed as Excel types typed-in text unless the page says the type (x:num, x:str,
// x:bool, x:err, x:fmla); colspan and rowspan become merges, links become hyperlinks.
#pragma once

#include "engine/Error.h"
#include "engine/text/MemoryWorkbook.h"
#include "engine/text/TypedValue.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::text {

/// Gives the UTF-8 text of the file that `href` names, relative to the document `base` links from (the page
/// itself when empty), reading at most `maxBytes`. Errors: those of reading the file; the caller decides whether
/// a missing file matters.
using PageLoader =
    std::function<Status(std::string_view href, std::string_view base, std::size_t maxBytes, std::string& text)>;

/// The most sheets a page saved as several files may link.
inline constexpr std::size_t kMaxLinkedSheets = 4096;

/// A worksheet that a multi-file page links instead of holding it: its name and the file it lives in.
struct LinkedSheet
{
    std::string name;
    std::string href;
};

/// The worksheets of the page's XML island (x:ExcelWorksheet entries with an x:WorksheetSource), in order, one
/// more than kMaxLinkedSheets when it lists more; empty for a page that holds its one sheet itself.
std::vector<LinkedSheet> linkedSheets(std::string_view text);

/// True when UTF-8 `text` begins (after white space and comments) like an HTML document.
bool looksLikeHtml(std::string_view text);

/// Reads UTF-8 `text` with libxml2's HTML parser into `workbook`; the sheet is named after the page's own
/// worksheet name (Excel's x:Name) or else `fallbackName`. With `loader`, the page's linked style sheets are read,
/// and a page saved as several files (a frameset page whose XML island lists its worksheets) becomes those
/// worksheets, each read from its file in turn. Errors: LimitExceeded, OutOfMemory, Timeout, and DamagedFile when
/// a linked sheet's file is missing, unreadable or outside the page's folder.
Status readHtml(std::string_view text, std::string_view fallbackName, DateOrder order, MemoryWorkbook& workbook,
                const PageLoader& loader = {});

} // namespace velquin::engine::text
