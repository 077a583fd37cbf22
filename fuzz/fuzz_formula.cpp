// Fuzz target: the BIFF formula decompiler. Input: a flags byte (bit 0 BIFF5, or with bits 3-4 BIFF4, 3 or 2; bit 1
// shared formula, bit 2 cell near the sheet's far corner), the token length (2 bytes), row (2 bytes) and column (1 byte) of the cell, the tokens,
// then the extra data (array constants) that follows them.
#include "engine/xls/formula/FormulaDecompiler.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using namespace velquin::engine::xls::formula;

FormulaContext makeContext(const std::uint8_t* header)
{
    FormulaContext context;
    context.biffVersion = (header[0] & 1) ? 5 - ((header[0] >> 3) & 3) : 8;
    context.sharedFormula = (header[0] & 2) != 0;
    std::uint32_t base = (header[0] & 4) ? (context.biffVersion == 8 ? 65536u - 256u : 16384u - 256u) : 0u;
    context.row = base + static_cast<std::uint32_t>(header[3] | (header[4] << 8)) % 256u;
    context.col = header[5];
    // Some indices resolve and others do not, so both the named and the #REF! paths run; one name of each kind is
    // the hidden function of linked data types' field references.
    context.definedName = [](std::uint32_t index) -> std::optional<std::string> {
        if (index == 0 || index > 8)
            return std::nullopt;
        return index == 8 ? std::string("_FV") : "Name" + std::to_string(index);
    };
    context.externalName = [](std::uint32_t sheetRef, std::uint32_t index) -> std::optional<std::string> {
        if (sheetRef > 2 || index == 0 || index > 4)
            return std::nullopt;
        return index == 4 ? std::string("_FV") : "EXTFN" + std::to_string(index);
    };
    context.sheetPrefix = [](std::uint32_t index) -> std::optional<std::string> {
        static const char* const kPrefixes[] = {"Sheet1", "'My Sheet'", "Sheet1:Sheet3", "[Book.xls]Sheet1"};
        if (index >= 4)
            return std::nullopt;
        return kPrefixes[index];
    };
    context.sheetPrefixBiff5 = [](std::int32_t index, std::int32_t first,
                                  std::int32_t last) -> std::optional<std::string> {
        if (index < -4 || index > 4 || first < 0 || first > 3 || last < first || last > 3)
            return std::nullopt;
        return first == last ? "Sheet" + std::to_string(first + 1)
                             : "Sheet" + std::to_string(first + 1) + ":Sheet" + std::to_string(last + 1);
    };
    return context;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 6;
    if (size < kHeader)
        return 0;
    FormulaContext context = makeContext(data);
    std::size_t cce = static_cast<std::size_t>(data[1] | (data[2] << 8));
    cce = std::min(cce, size - kHeader);
    // Separate allocations, so a read past the tokens into the extra data is caught as an overflow.
    std::vector<std::uint8_t> rgce(data + kHeader, data + kHeader + cce);
    std::vector<std::uint8_t> rgcb(data + kHeader + cce, data + size);
    DecompiledFormula result = decompile(rgce, rgcb, context);
    if (result.status)
    {
        if (!result.text.empty() && result.text[0] != '=')
            velquin::fuzz::contractBroken("formula text without its leading '='");
        if (result.text.size() > 1024 * (size + 16))
            velquin::fuzz::contractBroken("formula text out of all proportion to its tokens");
    }
    return 0;
}
