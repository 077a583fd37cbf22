// Fuzz target: a web page through the HTML reader (libxml2's HTML parser, tables with spans, CSS, x: attributes),
// the sheet streamed into the checking sink and saved as SpreadsheetML that must be well-formed.
#include "engine/text/HtmlReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".htm");
    velquin::engine::text::MemoryWorkbook workbook;
    if (!velquin::engine::text::readHtml({reinterpret_cast<const char*>(data), size}, "page",
                                         velquin::engine::text::DateOrder::MonthDayYear, workbook))
        return 0;
    velquin::fuzz::checkInfo(workbook.info());
    velquin::fuzz::checkAndSave(workbook, file.path());
    return 0;
}
