// Fuzz target: text as any file that is not a workbook: character set detection and conversion, the choice of
// reader, and above all delimited text with its quoting and value typing; saved as SpreadsheetML that must be
// well-formed.
#include "engine/text/TextReader.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".csv");
    std::unique_ptr<velquin::engine::model::WorkbookReader> reader;
    if (!velquin::engine::text::openTextBytes({reinterpret_cast<const char*>(data), size}, "data", reader))
        return 0;
    if (!reader)
        velquin::fuzz::contractBroken("openTextBytes succeeded without a reader");
    velquin::fuzz::checkInfo(reader->info());
    velquin::fuzz::checkAndSave(*reader, file.path());
    return 0;
}
