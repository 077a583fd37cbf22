// Turns BIFF parsed-expression tokens into R1C1 formula text.
#include "engine/xls/formula/FormulaDecompiler.h"

#include "engine/xls/formula/ByteCursor.h"
#include "engine/xls/formula/TokenDecoder.h"

#include <new>

namespace velquin::engine::xls::formula {

namespace {

constexpr std::uint8_t kPtgExp = 0x01;
constexpr std::uint8_t kPtgTbl = 0x02;

// A cell of a shared, array or table formula holds only a pointer to the cell whose record has the tokens.
DecompiledFormula decodeAnchor(std::span<const std::uint8_t> rgce, int biffVersion)
{
    DecompiledFormula result;
    ByteCursor cursor(rgce);
    std::uint8_t ptg = 0;
    std::uint16_t row = 0;
    std::uint16_t col = 0;
    std::uint8_t col8 = 0;
    bool read = cursor.readU8(ptg) && cursor.readU16(row);
    // Excel 2.x keeps the anchor's column in one byte.
    if (biffVersion == 2)
    {
        read = read && cursor.readU8(col8);
        col = col8;
    }
    else
        read = read && cursor.readU16(col);
    if (!read)
    {
        result.status = Status(EngineErrc::DamagedFile,
                               std::string(rgce[0] == kPtgTbl ? "table" : "shared") + " formula pointer is truncated");
        return result;
    }
    result.anchor = std::make_pair(std::uint32_t{row}, std::uint32_t{col});
    result.isTable = ptg == kPtgTbl;
    return result;
}

} // namespace

DecompiledFormula decompile(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb,
                            const FormulaContext& context)
{
    DecompiledFormula result;
    if (rgce.empty())
    {
        result.status = Status(EngineErrc::DamagedFile, "formula has no tokens");
        return result;
    }
    if (rgce[0] == kPtgExp || rgce[0] == kPtgTbl)
        return decodeAnchor(rgce, context.biffVersion);
    try
    {
        TokenDecoder decoder(rgce, rgcb, context);
        std::string text;
        result.status = decoder.decode(text);
        if (result.status)
        {
            result.text.reserve(text.size() + 1);
            result.text += '=';
            result.text += text;
        }
    }
    catch (const std::bad_alloc&)
    {
        result.status = Status(EngineErrc::OutOfMemory, "decompiling a formula");
        result.text.clear();
    }
    return result;
}

} // namespace velquin::engine::xls::formula
