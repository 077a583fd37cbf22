// Token streams for formula tests, written as hex bytes ("44 04 00 03 C0").
#pragma once

#include "engine/xls/formula/FormulaDecompiler.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace velquin::test {

inline std::vector<std::uint8_t> hexBytes(std::string_view hex)
{
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (char c : hex)
    {
        int nibble = -1;
        if (c >= '0' && c <= '9')
            nibble = c - '0';
        else if (c >= 'A' && c <= 'F')
            nibble = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            nibble = c - 'a' + 10;
        if (nibble < 0)
            continue;
        if (high < 0)
        {
            high = nibble;
        }
        else
        {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + nibble));
            high = -1;
        }
    }
    return bytes;
}

/// Decompiles hex tokens (and optional hex extra data) for the cell at row/col of a BIFF8 sheet.
inline engine::xls::formula::DecompiledFormula decompileHex(std::string_view rgce, std::string_view rgcb = {},
                                                            engine::xls::formula::FormulaContext context = {})
{
    const std::vector<std::uint8_t> tokens = hexBytes(rgce);
    const std::vector<std::uint8_t> extra = hexBytes(rgcb);
    return engine::xls::formula::decompile(tokens, extra, context);
}

inline engine::xls::formula::FormulaContext cellContext(std::uint32_t row, std::uint32_t col, int biffVersion = 8)
{
    engine::xls::formula::FormulaContext context;
    context.biffVersion = biffVersion;
    context.row = row;
    context.col = col;
    return context;
}

} // namespace velquin::test
