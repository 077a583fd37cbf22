// Fuzz target: a whole .xlsx file through the engine's entry points: open (format sniffing, the OOXML package and
// every part reader), every sheet streamed into the checking sink, then saved as SpreadsheetML into a scratch file
// that must be well-formed XML.
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xlsx");
    if (!file.write({reinterpret_cast<const char*>(data), size}))
        return 0;
    velquin::fuzz::openCheckAndSave(file.path());
    return 0;
}
