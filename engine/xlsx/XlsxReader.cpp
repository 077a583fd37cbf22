// Reader for Office Open XML workbooks (.xlsx, .xlsm).
#include "engine/xlsx/XlsxReader.h"

#include "engine/xlsx/XlsxWorkbook.h"

#include <new>

namespace velquin::engine::xlsx {

Status openXlsx(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    reader.reset();
    try
    {
        auto workbook = std::make_unique<XlsxWorkbook>();
        if (Status status = workbook->open(path); !status)
            return status;
        reader = std::move(workbook);
        return {};
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, path};
    }
}

} // namespace velquin::engine::xlsx
