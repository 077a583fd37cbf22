// Files that are not workbooks but that Excel opens, told apart by their contents: XML Spreadsheet 2003, web pages
// and delimited text.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"
#include "engine/text/HtmlReader.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace velquin::engine::text {

/// The largest text file read; every byte becomes text in memory, so the limit bounds the memory a file can take.
inline constexpr std::size_t kMaxTextFileBytes = 256u << 20;

/// Opens the text file at `path`. A web page may link files in its folder or below it (its style sheet, the sheets
/// of a page saved as several files); no link leads out of that folder. Errors: FileUnreadable, NotAWorkbook
/// (binary data, XML that is no XML Spreadsheet), DamagedFile (also a linked sheet missing or out of bounds),
/// LimitExceeded, OutOfMemory, Timeout.
Status openTextFile(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);

/// The same for bytes in memory; `name` (the file's name without folder and extension) names the sheet of a web page
/// or of delimited text. A page's links are followed only when `loader` reads them (see readHtml).
Status openTextBytes(std::string_view bytes, std::string_view name, std::unique_ptr<model::WorkbookReader>& reader,
                     const PageLoader& loader = {});

} // namespace velquin::engine::text
