// Reader for Excel binary workbooks (.xlsb): an Office Open XML package whose parts are binary record streams.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"

#include <memory>
#include <string>

namespace velquin::engine::xlsb {

/// Whether the zip package at `path` holds a binary workbook part (by its content type, or a workbook part
/// named .bin). False for anything it cannot tell, which the .xlsx reader then reports.
bool isBinaryPackage(const std::string& path);

/// Opens the package at `path` and reads its workbook-wide parts. Errors: FileNotFound, FileUnreadable,
/// NotAWorkbook, DamagedFile, LimitExceeded, OutOfMemory, Timeout.
Status openXlsb(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);

} // namespace velquin::engine::xlsb
