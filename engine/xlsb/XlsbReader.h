// Reader for Excel binary workbooks (.xlsb): an Office Open XML package whose parts are binary record streams.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"

#include <memory>
#include <string>

struct zip_source;

namespace velquin::engine::xlsx {
class ZipPackage;
}

namespace velquin::engine::xlsb {

/// Whether the zip package at `path` holds a binary workbook part (by its content type, or a workbook part
/// named .bin). False for anything it cannot tell, which the .xlsx reader then reports.
bool isBinaryPackage(const std::string& path);
/// The same for a package already opened.
bool isBinaryPackage(const xlsx::ZipPackage& package);

/// Opens the package at `path` and reads its workbook-wide parts. Errors: FileNotFound, FileUnreadable,
/// NotAWorkbook, DamagedFile, LimitExceeded, OutOfMemory, Timeout.
Status openXlsb(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader);
/// The same for the package `source` gives (a decrypted package, for one); takes `source` over in every case.
Status openXlsb(zip_source* source, std::unique_ptr<model::WorkbookReader>& reader);

} // namespace velquin::engine::xlsb
