// Reader for Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5) workbooks, and Excel 2.x-4.x worksheets.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"

#include <memory>
#include <string>

namespace velquin::engine::xls {

/// Opens the compound file at `path` and reads its workbook globals. Errors: FileNotFound, FileUnreadable,
/// NotAWorkbook, UnsupportedFormat, EncryptedWorkbook, DamagedFile, LimitExceeded, OutOfMemory.
Status openXls(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);

/// Opens an Excel 2.x, 3.x or 4.x worksheet: a bare record stream whose one sheet is named after the file.
/// Errors: FileNotFound, FileUnreadable, NotAWorkbook, UnsupportedFormat (workbooks, charts and macro sheets of
/// those versions), DamagedFile, LimitExceeded, OutOfMemory.
Status openBiff4OrOlder(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);

} // namespace velquin::engine::xls
