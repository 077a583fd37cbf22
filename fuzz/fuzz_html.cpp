// Fuzz target: a web page through the HTML reader (libxml2's HTML parser, tables with spans, CSS, x: attributes),
// the sheet streamed into the checking sink and saved as SpreadsheetML that must be well-formed. Every file the page
// links (the sheets of a multi-file page, style sheets) is the page itself, for the first few links.
#include "engine/text/HtmlReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".htm");
    using namespace velquin::engine;
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    int links = 0;
    const text::PageLoader loader = [&](std::string_view, std::string_view, std::size_t maxBytes, std::string& text) {
        if (++links > 4 || page.size() > maxBytes)
            return Status{EngineErrc::FileNotFound, "the file is missing"};
        text = page;
        return Status{};
    };
    text::MemoryWorkbook workbook;
    if (!text::readHtml(page, "page", text::DateOrder::MonthDayYear, workbook, loader))
        return 0;
    velquin::fuzz::checkInfo(workbook.info());
    velquin::fuzz::checkAndSave(workbook, file.path());
    return 0;
}
