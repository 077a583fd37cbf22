// Fuzz target: an Excel 2.x-4.x worksheet (a bare BIFF2-4 record stream) through the engine's entry points: open,
// every sheet streamed into the checking sink, then saved as SpreadsheetML into a scratch file that must be
// well-formed XML. The seeds are such worksheets, so the mutations mostly stay in the old readers.
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
