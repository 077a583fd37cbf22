// Reader for Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5) workbooks, and Excel 2.x-4.x worksheets.
#pragma once

#include "engine/Error.h"
#include "engine/crypto/PasswordTrial.h"
#include "engine/model/WorkbookReader.h"

#include <memory>
#include <string>

namespace velquin::engine::xls {

class OleContainer;

/// Opens the compound file at `path` and reads its workbook globals. An encrypted workbook opens with the default
/// password or one that `prompt` gives. Errors: FileNotFound, FileUnreadable, NotAWorkbook, UnsupportedFormat,
/// EncryptedWorkbook, DamagedFile, LimitExceeded, OutOfMemory, Timeout.
Status openXls(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader,
               const PasswordPrompt& prompt = {});

/// The same for a compound file already opened, which the reader keeps.
Status openXls(std::unique_ptr<OleContainer> container, std::unique_ptr<model::WorkbookReader>& reader,
               const PasswordPrompt& prompt = {});

/// Opens an Excel 2.x, 3.x or 4.x worksheet: a bare record stream whose one sheet is named after the file.
/// Errors: FileNotFound, FileUnreadable, NotAWorkbook, UnsupportedFormat (workbooks, charts and macro sheets of
/// those versions), DamagedFile, LimitExceeded, OutOfMemory.
Status openBiff4OrOlder(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);

} // namespace velquin::engine::xls
