// XML Spreadsheet 2003 files as input: read into the model like any workbook, so that the output is written
// afresh by the writer (shaped as Excel writes it), not copied.
#pragma once

#include "engine/Error.h"
#include "engine/text/MemoryWorkbook.h"

#include <string_view>

namespace velquin::engine::text {

/// True when UTF-8 `text` is an XML document whose root is SpreadsheetML's Workbook.
bool looksLikeXmlSpreadsheet(std::string_view text);

/// Reads UTF-8 `text` (without byte order mark) into `workbook`. Errors: DamagedFile (not well-formed XML, no
/// Workbook root, a document type declaration), LimitExceeded (nesting, cells), OutOfMemory, Timeout.
Status readXmlSpreadsheet(std::string_view text, MemoryWorkbook& workbook);

} // namespace velquin::engine::text
