// Fuzz target: a binary workbook (.xlsb) from its parts: workbook, styles, shared strings, sheets and comments as
// binary record streams, relationships as XML. The input is a list of parts, each "name\ncontent", separated by
// "\n@@\n"; they are stored uncompressed in a fresh package so mutations reach the records, then the package is
// opened, checked and saved like any workbook.
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xlsb");
    if (!velquin::fuzz::writePartsPackage(file.path(), {reinterpret_cast<const char*>(data), size}))
        return 0;
    velquin::fuzz::openCheckAndSave(file.path());
    return 0;
}
