// Fuzz target: the A1 formula tokenizer and the translation to R1C1. Input: row (3 bytes) and column (2 bytes) of
// the cell, a flags byte (bit 0: ranges are relative; bit 1: "[1]" and "[2]" are external books), then the formula
// text as OOXML stores it.
#include "engine/formula/A1Tokenizer.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/model/Sheet.h"
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace formula = velquin::engine::formula;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kHeader = 6;
    if (size < kHeader)
        return 0;
    const std::uint32_t row = (data[0] | (data[1] << 8) | (data[2] << 16)) % 1048576u;
    const std::uint32_t col = (data[3] | (data[4] << 8)) % 16384u;
    const bool relative = (data[5] & 1) != 0;
    const std::string_view text(reinterpret_cast<const char*>(data + kHeader), size - kHeader);

    // Tokens reproduce the text in full, each one at least a character long (so the loop ends).
    formula::A1Tokenizer tokenizer(text);
    std::string joined;
    for (formula::Token token = tokenizer.next(); token.kind != formula::TokenKind::End; token = tokenizer.next())
    {
        if (token.text.empty())
            velquin::fuzz::contractBroken("tokenizer returned an empty token");
        if (token.text.data() != text.data() + joined.size())
            velquin::fuzz::contractBroken("token is not the next piece of the formula");
        joined.append(token.text);
        if (joined.size() > text.size())
            velquin::fuzz::contractBroken("tokens run past the formula");
    }
    if (joined != text)
        velquin::fuzz::contractBroken("tokens do not reproduce the formula");

    static const formula::ExternalBook kBooks[] = {{"C:\\Docs\\", "Book2.xlsx"}, {"", "It's.xlsx"}};
    const std::string r1c1 =
        (data[5] & 2) != 0 ? formula::toR1C1Formula(text, row, col, kBooks) : formula::toR1C1Formula(text, row, col);
    if (r1c1.empty() || r1c1[0] != '=')
        velquin::fuzz::contractBroken("R1C1 formula without its leading '='");
    // A reference grows from at most "A1" to "R[-1048575]C[-16383]"; nothing else grows.
    if (r1c1.size() > 16 * text.size() + 64)
        velquin::fuzz::contractBroken("R1C1 text out of all proportion to the formula");

    std::string ranges;
    if (formula::rangeListToR1C1(text, relative, row, col, ranges) && ranges.size() > 16 * text.size() + 64)
        velquin::fuzz::contractBroken("R1C1 ranges out of all proportion to the list");

    formula::CellRange range;
    if (formula::parseA1Range(text, range) &&
        (range.firstRow > range.lastRow || range.firstCol > range.lastCol ||
         range.lastRow >= velquin::engine::model::kMaxRows || range.lastCol >= velquin::engine::model::kMaxColumns))
        velquin::fuzz::contractBroken("parsed range reversed or off the sheet");
    return 0;
}
