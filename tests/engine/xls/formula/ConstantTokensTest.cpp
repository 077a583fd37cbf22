// String, number, error, boolean and array constants inside formulas.
#include "FormulaTestBytes.h"
#include "engine/xls/formula/NumberText.h"

#include <gtest/gtest.h>

using velquin::engine::EngineErrc;
using velquin::engine::xls::formula::FormulaContext;
using velquin::engine::xls::formula::numberText;
using velquin::test::cellContext;
using velquin::test::decompileHex;

namespace {

std::string text(std::string_view rgce, std::string_view rgcb = {}, const FormulaContext& context = {})
{
    auto result = decompileHex(rgce, rgcb, context);
    EXPECT_TRUE(result.status) << result.status.description();
    return result.text;
}

TEST(FormulaConstants, StringsDoubleTheirQuotes)
{
    EXPECT_EQ(text("17 00 00"), "=\"\"");
    EXPECT_EQ(text("17 05 00 61 22 62 22 22"), "=\"a\"\"b\"\"\"\"\"");
    // Two-byte characters: "Ж€" and a surrogate pair (U+1F600).
    EXPECT_EQ(text("17 04 01 16 04 AC 20 3D D8 00 DE"), "=\"Ж€😀\"");
    // One-byte BIFF8 characters are Latin-1, not the code page.
    EXPECT_EQ(text("17 02 00 E9 80"), "=\"é\u0080\"");
    // A lone surrogate cannot be written as UTF-8 and becomes U+FFFD.
    EXPECT_EQ(text("17 01 01 00 D8"), "=\"\uFFFD\"");
}

TEST(FormulaConstants, Biff5StringsUseTheWorkbookCodePage)
{
    FormulaContext context = cellContext(0, 0, 5);
    EXPECT_EQ(text("17 03 80 E9 22", {}, context), "=\"€é\"\"\"");
    context.decodeByteString = [](std::span<const std::uint8_t> bytes) { return std::string(bytes.size(), 'x'); };
    EXPECT_EQ(text("17 03 80 E9 41", {}, context), "=\"xxx\"");
}

TEST(FormulaConstants, NumbersAsExcelWritesThem)
{
    EXPECT_EQ(text("1E FF FF"), "=65535");
    EXPECT_EQ(text("1F 00 00 00 00 00 00 F8 3F"), "=1.5");
    EXPECT_EQ(text("1F 00 00 00 00 00 00 F8 3F 13"), "=-1.5");
    EXPECT_EQ(numberText(0.1 + 0.2), "0.3") << "15 significant digits, like Excel";
    EXPECT_EQ(numberText(4018.99999998843), "4018.99999998843");
    EXPECT_EQ(numberText(1e20), "1E+20");
    EXPECT_EQ(numberText(1e15), "1E+15");
    EXPECT_EQ(numberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(numberText(1.5e-20), "1.5E-20");
    EXPECT_EQ(numberText(0.00001), "0.00001");
    EXPECT_EQ(numberText(-2.5e100), "-2.5E+100");
    EXPECT_EQ(numberText(1234567.5), "1234567.5");
    EXPECT_EQ(numberText(-0.0), "0");
}

TEST(FormulaConstants, ErrorsAndBooleans)
{
    EXPECT_EQ(text("1C 00"), "=#NULL!");
    EXPECT_EQ(text("1C 07"), "=#DIV/0!");
    EXPECT_EQ(text("1C 0F"), "=#VALUE!");
    EXPECT_EQ(text("1C 17"), "=#REF!");
    EXPECT_EQ(text("1C 1D"), "=#NAME?");
    EXPECT_EQ(text("1C 24"), "=#NUM!");
    EXPECT_EQ(text("1C 2A"), "=#N/A");
    EXPECT_EQ(text("1D 01 1D 00 0B"), "=TRUE=FALSE");
    EXPECT_EQ(decompileHex("1C 05").status.code(), EngineErrc::DamagedFile) << "no such error code";
}

TEST(FormulaConstants, ArraysReadTheirValuesFromTheExtraData)
{
    const std::string array = "60 00 00 00 00 00 00 00";
    // {1,2;3,4}: last column 1, last row 1, then four numbers row by row.
    EXPECT_EQ(text(array, "01 01 00"
                          "01 00 00 00 00 00 00 F0 3F  01 00 00 00 00 00 00 00 40"
                          "01 00 00 00 00 00 00 08 40  01 00 00 00 00 00 00 10 40"),
              "={1,2;3,4}");
    // One row of a string, a boolean, an error and a negative number.
    EXPECT_EQ(text(array, "03 00 00"
                          "02 02 00 00 61 22  04 01 00 00 00 00 00 00 00  10 2A 00 00 00 00 00 00 00"
                          "01 00 00 00 00 00 00 E0 BF"),
              "={\"a\"\"\",TRUE,#N/A,-0.5}");
    // Two arrays in one formula take their values in token order.
    EXPECT_EQ(
        text(array + " " + array + " 0B", "00 00 00 01 00 00 00 00 00 00 F0 3F  00 00 00 04 00 00 00 00 00 00 00 00"),
        "={1}={FALSE}");
    // BIFF5 strings in arrays have a one-byte length and no option byte.
    EXPECT_EQ(text("60 00 00 00 00 00 00 00", "00 00 00 02 02 41 80", cellContext(0, 0, 5)), "={\"A€\"}");
}

TEST(FormulaConstants, ShortOrUnknownArrayDataIsDamaged)
{
    const std::string array = "60 00 00 00 00 00 00 00";
    EXPECT_EQ(decompileHex(array, "").status.code(), EngineErrc::DamagedFile);
    EXPECT_EQ(decompileHex(array, "01 00 00 01 00 00 00 00 00 00 F0 3F").status.code(), EngineErrc::DamagedFile)
        << "two values announced, one stored";
    EXPECT_EQ(decompileHex(array, "00 00 00 07 00 00 00 00 00 00 00 00").status.code(), EngineErrc::DamagedFile)
        << "value type 7 does not exist";
    EXPECT_EQ(decompileHex(array, "FF FF FF 01").status.code(), EngineErrc::DamagedFile)
        << "16 million values announced: refused before reading them";
    EXPECT_EQ(decompileHex("60 00 00 00", "00 00 00 04 01 00 00 00 00 00 00 00").status.code(), EngineErrc::DamagedFile)
        << "the token itself is short";
}

TEST(FormulaConstants, MemTokensSkipTheirCacheButKeepTheInnerTokens)
{
    // PtgMemFunc around R1C1:R1C2 (the inner tokens still compute the operand) then SUM.
    EXPECT_EQ(text("29 0B 00 24 00 00 00 00 24 00 00 01 00 11 19 10 00 00"), "=SUM(R1C1:R1C2)");
    // PtgMemArea caches one area in the extra data, which comes before the array constant's values.
    EXPECT_EQ(text("26 00 00 00 00 09 00 25 00 00 01 00 00 00 01 00 60 00 00 00 00 00 00 00 10",
                   "01 00 00 00 01 00 00 00 01 00   00 00 00 01 00 00 00 00 00 00 F0 3F"),
              "=R1C1:R2C2,{1}");
    EXPECT_EQ(decompileHex("29 20 00 24 00 00 00 00").status.code(), EngineErrc::DamagedFile)
        << "inner size past the end of the tokens";
}

} // namespace
