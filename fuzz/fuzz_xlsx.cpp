// Fuzz target: the OOXML package reader and every part reader behind it; the input is a whole .xlsx file.
#include "engine/xlsx/XlsxReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xlsx");
    if (!file.write({reinterpret_cast<const char*>(data), size}))
        return 0;
    std::unique_ptr<velquin::engine::model::WorkbookReader> reader;
    if (velquin::engine::xlsx::openXlsx(file.path(), reader) && reader)
        velquin::fuzz::readAllSheets(*reader);
    return 0;
}
