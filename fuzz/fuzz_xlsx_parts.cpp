// Fuzz target: the OOXML part readers (workbook, relationships, styles, shared strings, sheets, comments...)
// without the zip layer in the way. The input is a list of parts, each "name\ncontent", separated by "\n@@\n";
// they are stored uncompressed in a fresh package so mutations reach the XML.
#include "engine/xlsx/XlsxReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xlsx");
    if (!velquin::fuzz::writePartsPackage(file.path(), {reinterpret_cast<const char*>(data), size}))
        return 0;
    std::unique_ptr<velquin::engine::model::WorkbookReader> reader;
    if (velquin::engine::xlsx::openXlsx(file.path(), reader) && reader)
        velquin::fuzz::readAllSheets(*reader);
    return 0;
}
