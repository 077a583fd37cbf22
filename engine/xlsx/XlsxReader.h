// Reader for Office Open XML workbooks (.xlsx, .xlsm).
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"

#include <memory>
#include <string>

namespace velquin::engine::xlsx {

/// Opens the package at `path` and reads its workbook-wide parts. Errors: FileNotFound, FileUnreadable,
/// NotAWorkbook, UnsupportedFormat, EncryptedWorkbook, DamagedFile, LimitExceeded, OutOfMemory.
Status openXlsx(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);

} // namespace velquin::engine::xlsx
