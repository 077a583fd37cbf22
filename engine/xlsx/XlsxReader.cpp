// Reader for Office Open XML workbooks (.xlsx, .xlsm).
#include "engine/xlsx/XlsxReader.h"

namespace velquin::engine::xlsx {

Status openXlsx(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    reader.reset();
    return {EngineErrc::UnsupportedFormat, "Reading " + path + " is not available yet."};
}

} // namespace velquin::engine::xlsx
