// Fuzz target: the BIFF record reader without the container in the way. The input is a workbook stream; it is
// wrapped in a well-formed compound file so mutations reach the records instead of the sector tables.
#include "engine/xls/XlsReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xls");
    std::string_view stream(reinterpret_cast<const char*>(data), size);
    // BIFF8 keeps its records in "Workbook", BIFF5 in "Book"; the BOF version (0x0600 for BIFF8) tells them apart.
    bool biff8 = size >= 6 && data[4] == 0x00 && data[5] == 0x06;
    if (!file.write(velquin::fuzz::makeCompoundFile(biff8 ? "Workbook" : "Book", stream)))
        return 0;
    std::unique_ptr<velquin::engine::model::WorkbookReader> reader;
    if (velquin::engine::xls::openXls(file.path(), reader) && reader)
        velquin::fuzz::readAllSheets(*reader);
    return 0;
}
