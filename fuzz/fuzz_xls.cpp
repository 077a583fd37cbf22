// Fuzz target: a whole .xls file through the engine's entry points: open (format sniffing, the OLE2 compound-file
// reader and the BIFF reader), every sheet streamed into the checking sink, then saved as SpreadsheetML into a
// scratch file that must be well-formed XML.
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xls");
    if (!file.write({reinterpret_cast<const char*>(data), size}))
        return 0;
    velquin::fuzz::openCheckAndSave(file.path());
    return 0;
}
