// Fuzz target: an XML Spreadsheet 2003 file through its reader (expat, styles, cells, rich text, comments, options),
// every sheet streamed into the checking sink and saved as SpreadsheetML that must be well-formed.
#include "engine/text/XmlssReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xml");
    velquin::engine::text::MemoryWorkbook workbook;
    if (!velquin::engine::text::readXmlSpreadsheet({reinterpret_cast<const char*>(data), size}, workbook))
        return 0;
    velquin::fuzz::checkInfo(workbook.info());
    velquin::fuzz::checkAndSave(workbook, file.path());
    return 0;
}
