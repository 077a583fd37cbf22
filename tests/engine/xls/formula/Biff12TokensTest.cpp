// Tokens of the binary workbook format: four-byte rows, 14-bit columns, strings counted in two bytes, the anchor
// of shared formulas split between token and extra data, and the functions only that format numbers.
#include "FormulaTestBytes.h"

#include <gtest/gtest.h>

using velquin::engine::EngineErrc;
using velquin::engine::xls::formula::FormulaContext;
using velquin::test::cellContext;
using velquin::test::decompileHex;

namespace {

std::string text(std::string_view rgce, std::string_view rgcb = {}, FormulaContext context = cellContext(0, 0, 12))
{
    auto result = decompileHex(rgce, rgcb, context);
    EXPECT_TRUE(result.status) << result.status.description();
    return result.text;
}

TEST(Biff12Tokens, ReferencesUseFourByteRowsAndFourteenBitColumns)
{
    // PtgRef to row 70000, column 300 (absolute); then relative both ways seen from R1C1.
    EXPECT_EQ(text("24 70 11 01 00 2C 01"), "=R70001C301");
    EXPECT_EQ(text("24 70 11 01 00 2C C1", {}, cellContext(9, 9, 12)), "=R[69991]C[291]");
    // PtgArea A1:XFD1048576 is whole rows 1:1048576; A:A (rows 0..1048575 of column 0) a whole column.
    EXPECT_EQ(text("25 00 00 00 00 FF FF 0F 00 00 00 FF 3F"), "=R1:R1048576");
    EXPECT_EQ(text("25 00 00 00 00 FF FF 0F 00 00 00 00 00"), "=C1");
    // PtgRefN offsets are signed and wrap at the last row and column: one up and one left of R1C1.
    EXPECT_EQ(text("2C FF FF FF FF FF FF", {}, cellContext(0, 0, 12)), "=R[1048575]C[16383]");
    EXPECT_EQ(text("2C FF FF FF FF FF FF", {}, cellContext(5, 5, 12)), "=R[-1]C[-1]");
    // The error references take the wider sizes too.
    EXPECT_EQ(text("2A 00 00 00 00 00 00 2B 00 00 00 00 00 00 00 00 00 00 00 00 03"), "=#REF!+#REF!");
}

TEST(Biff12Tokens, StringsCountTheirCharactersInTwoBytes)
{
    EXPECT_EQ(text("17 03 00 61 00 22 00 16 04"), "=\"a\"\"Ж\"");
    auto cut = decompileHex("17 03 00 61 00", {}, cellContext(0, 0, 12));
    EXPECT_EQ(cut.status.code(), EngineErrc::DamagedFile);
}

TEST(Biff12Tokens, ArrayConstantsHaveTheirOwnLayout)
{
    // PtgArray skips 14 bytes; the values are 2 rows x 2 columns: number, string, boolean, error.
    EXPECT_EQ(text("40 00 00 00 00 00 00 00 00 00 00 00 00 00 00",
                   "02 00 00 00 02 00 00 00 00 00 00 00 00 00 00 F8 3F 01 01 00 78 00 02 01 04 07 00 00 00"),
              "={1.5,\"x\";TRUE,#DIV/0!}");
    auto huge = decompileHex("40 00 00 00 00 00 00 00 00 00 00 00 00 00 00", "FF FF FF 7F FF FF FF 7F 00",
                             cellContext(0, 0, 12));
    EXPECT_EQ(huge.status.code(), EngineErrc::DamagedFile);
}

TEST(Biff12Tokens, SharedFormulaAnchorTakesItsColumnFromTheExtraData)
{
    auto result = decompileHex("01 05 00 01 00", "07 00 00 00", cellContext(6, 7, 12));
    ASSERT_TRUE(result.status);
    ASSERT_TRUE(result.anchor);
    EXPECT_EQ(*result.anchor, std::make_pair(std::uint32_t{65541}, std::uint32_t{7}));
    EXPECT_EQ(decompileHex("01 05 00 01 00", "", cellContext(6, 7, 12)).status.code(), EngineErrc::DamagedFile);
}

TEST(Biff12Tokens, NamesAndFunctionsOfTheWiderFormat)
{
    FormulaContext context = cellContext(0, 0, 12);
    context.externalName = [](std::uint32_t sheet, std::uint32_t index) -> std::optional<std::string> {
        return "X" + std::to_string(sheet) + "_" + std::to_string(index);
    };
    // PtgNameX: two-byte sheet reference, four-byte name index.
    EXPECT_EQ(text("39 02 00 09 00 00 00", {}, context), "=X2_9");
    // WEEKNUM (465) and IFERROR (480) are built-in functions of this format.
    EXPECT_EQ(text("1E 01 00 42 01 D1 01"), "=WEEKNUM(1)");
    EXPECT_EQ(text("1E 01 00 1E 02 00 42 02 E0 01"), "=IFERROR(1,2)");
}

} // namespace
