// Reader for Excel 97-2003 (BIFF8) and Excel 5.0/95 (BIFF5) workbooks.
#include "engine/xls/XlsReader.h"

namespace velquin::engine::xls {

Status openXls(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    reader.reset();
    return {EngineErrc::UnsupportedFormat, "Reading " + path + " is not available yet."};
}

} // namespace velquin::engine::xls
