// Fuzz target: the OLE2 compound-file reader and the BIFF reader behind it; the input is a whole .xls file.
#include "engine/xls/XlsReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xls");
    if (!file.write({reinterpret_cast<const char*>(data), size}))
        return 0;
    std::unique_ptr<velquin::engine::model::WorkbookReader> reader;
    if (velquin::engine::xls::openXls(file.path(), reader) && reader)
        velquin::fuzz::readAllSheets(*reader);
    return 0;
}
