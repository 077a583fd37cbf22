// Cell, area, 3-D and name references in R1C1, BIFF8 and BIFF5 layouts.
#include "FormulaTestBytes.h"

#include <gtest/gtest.h>

using velquin::engine::EngineErrc;
using velquin::engine::xls::formula::FormulaContext;
using velquin::test::cellContext;
using velquin::test::decompileHex;

namespace {

std::string text(std::string_view rgce, const FormulaContext& context)
{
    auto result = decompileHex(rgce, {}, context);
    EXPECT_TRUE(result.status) << result.status.description();
    return result.text;
}

TEST(FormulaReferences, CellReferencesCountRelativePartsFromTheFormulaCell)
{
    const FormulaContext cell = cellContext(5, 3);            // D6
    EXPECT_EQ(text("44 04 00 03 C0", cell), "=R[-1]C");       // D5, both parts relative
    EXPECT_EQ(text("44 05 00 05 C0", cell), "=RC[2]");        // F6
    EXPECT_EQ(text("44 01 00 02 00", cell), "=R2C3");         // $C$2
    EXPECT_EQ(text("44 09 00 00 80", cell), "=R[4]C1");       // $A10: row relative only
    EXPECT_EQ(text("24 05 00 03 C0", cell), "=RC");           // the cell itself, reference class
    EXPECT_EQ(text("64 FF FF FF 40", cell), "=R65536C[252]"); // array class, last row absolute
}

TEST(FormulaReferences, AreasAndWholeRowsOrColumns)
{
    const FormulaContext cell = cellContext(5, 3);
    EXPECT_EQ(text("25 00 00 01 00 00 00 01 00", cell), "=R1C1:R2C2");
    EXPECT_EQ(text("25 02 00 04 00 03 C0 03 C0", cell), "=R[-3]C:R[-1]C");
    EXPECT_EQ(text("25 00 00 FF FF 00 00 02 00", cell), "=C1:C3");
    EXPECT_EQ(text("25 00 00 FF FF 05 40 05 40", cell), "=C[2]");
    EXPECT_EQ(text("25 00 00 02 00 00 00 FF 00", cell), "=R1:R3");
    EXPECT_EQ(text("25 04 00 04 00 00 80 FF 80", cell), "=R[-1]");
    // The whole sheet is written as whole rows, as Excel does.
    EXPECT_EQ(text("25 00 00 FF FF 00 00 FF 00", cell), "=R1:R65536");
}

TEST(FormulaReferences, SharedFormulaOffsetsWrapAroundTheGrid)
{
    // PtgRefN / PtgAreaN hold offsets from the cell using the formula.
    const FormulaContext cell = cellContext(10, 5);
    EXPECT_EQ(text("4C FF FF FF C0", cell), "=R[-1]C[-1]");
    EXPECT_EQ(text("4C 02 00 01 C0", cell), "=R[2]C[1]");
    EXPECT_EQ(text("4C 03 00 04 00", cell), "=R4C5");
    EXPECT_EQ(text("4D FE FF FF FF FE C0 FF C0", cell), "=R[-2]C[-2]:R[-1]C[-1]");
    // Column offset -1 seen from column A reaches the last column (IV), 255 columns to the right.
    EXPECT_EQ(text("4C 00 00 FF C0", cellContext(3, 0)), "=RC[255]");
    // Row offset +1 seen from the last row wraps to row 1.
    EXPECT_EQ(text("4C 01 00 00 C0", cellContext(65535, 2)), "=R[-65535]C");
}

TEST(FormulaReferences, DeletedReferencesShowRefError)
{
    const FormulaContext cell = cellContext(0, 0);
    EXPECT_EQ(text("2A 00 00 00 00", cell), "=#REF!");
    EXPECT_EQ(text("4B 00 00 00 00 00 00 00 00 1E 01 00 03", cell), "=#REF!+1");
}

TEST(FormulaReferences, ThreeDimensionalReferencesUseTheSheetPrefix)
{
    FormulaContext cell = cellContext(2, 2);
    cell.sheetPrefix = [](std::uint32_t ixti) -> std::optional<std::string> {
        if (ixti == 0)
            return "Sheet2";
        if (ixti == 1)
            return "'My Sheet'";
        if (ixti == 2)
            return "Sheet1:Sheet3";
        return std::nullopt;
    };
    EXPECT_EQ(text("5A 00 00 00 00 00 00", cell), "=Sheet2!R1C1");
    EXPECT_EQ(text("3B 01 00 01 00 07 00 02 C0 04 C0", cell), "='My Sheet'!R[-1]C:R[5]C[2]");
    EXPECT_EQ(text("3B 02 00 00 00 FF FF 00 00 00 00", cell), "=Sheet1:Sheet3!C1");
    EXPECT_EQ(text("3C 00 00 00 00 00 00", cell), "=Sheet2!#REF!");
    EXPECT_EQ(text("3D 01 00 00 00 00 00 00 00 00 00", cell), "='My Sheet'!#REF!");
    EXPECT_EQ(text("5A 09 00 00 00 00 00", cell), "=#REF!");
    // In shared formulas the 3-D references hold offsets like PtgRefN.
    cell.sharedFormula = true;
    EXPECT_EQ(text("5A 00 00 FF FF 01 C0", cell), "=Sheet2!R[-1]C[1]");
}

TEST(FormulaReferences, DefinedAndExternalNames)
{
    FormulaContext cell = cellContext(0, 0);
    cell.definedName = [](std::uint32_t index) -> std::optional<std::string> {
        return index == 1 ? std::optional<std::string>("Sales") : std::nullopt;
    };
    cell.externalName = [](std::uint32_t sheetRef, std::uint32_t index) -> std::optional<std::string> {
        if (sheetRef == 3 && index == 2)
            return "Book.xls!Rate";
        return std::nullopt;
    };
    EXPECT_EQ(text("43 01 00 00 00", cell), "=Sales");
    EXPECT_EQ(text("43 07 00 00 00", cell), "=#REF!");
    EXPECT_EQ(text("59 03 00 02 00 00 00", cell), "=Book.xls!Rate");
}

TEST(FormulaReferencesBiff5, RelativeFlagsLiveInTheRowWord)
{
    const FormulaContext cell = cellContext(5, 3, 5);
    EXPECT_EQ(text("44 04 C0 03", cell), "=R[-1]C");
    EXPECT_EQ(text("44 01 00 02", cell), "=R2C3");
    EXPECT_EQ(text("25 00 00 01 00 00 01", cell), "=R1C1:R2C2");
    EXPECT_EQ(text("25 00 00 FF 3F 00 02", cell), "=C1:C3");
    EXPECT_EQ(text("25 00 C0 00 C0 00 FF", cell), "=R[-5]") << "rows 1..16384 are the whole BIFF5 sheet";
    EXPECT_EQ(text("25 00 00 FF 3F 00 FF", cell), "=R1:R16384");
    // Shared-formula offsets are 14-bit rows: 0x3FFF is one row up.
    EXPECT_EQ(text("4C FF FF FF", cell), "=R[-1]C[-1]");
}

TEST(FormulaReferencesBiff5, ExternSheetIndexAndSheetNumbersReachTheCallback)
{
    FormulaContext cell = cellContext(0, 0, 5);
    cell.sheetPrefixBiff5 = [](std::int32_t externSheet, std::int32_t first,
                               std::int32_t last) -> std::optional<std::string> {
        std::string prefix("X");
        prefix.append(std::to_string(externSheet)).append("_").append(std::to_string(first));
        return prefix.append("_").append(std::to_string(last));
    };
    cell.definedName = [](std::uint32_t index) -> std::optional<std::string> {
        std::string name("N");
        return name.append(std::to_string(index));
    };
    // PtgRef3d: ixals -2, 8 reserved bytes, sheets 1..2, then row word and column byte.
    EXPECT_EQ(text("3A FE FF 00 00 00 00 00 00 00 00 01 00 02 00 00 00 00", cell), "=X-2_1_2!R1C1");
    EXPECT_EQ(text("3B FF FF 00 00 00 00 00 00 00 00 00 00 00 00 00 00 01 00 00 01", cell), "=X-1_0_0!R1C1:R2C2");
    // PtgNameX of BIFF5: EXTERNSHEET index, 8 reserved bytes, the name's number, 12 reserved bytes.
    cell.externalName = [](std::uint32_t sheetRef, std::uint32_t index) -> std::optional<std::string> {
        if (static_cast<std::int32_t>(sheetRef) == -3 && index == 2)
            return std::string("EDATE");
        return std::nullopt;
    };
    EXPECT_EQ(text("39 FD FF 00 00 00 00 00 00 00 00 02 00 00 00 00 00 00 00 00 00 00 00 00 00", cell), "=EDATE");
    // PtgRefErr3d keeps its sheet.
    EXPECT_EQ(text("3C FE FF 00 00 00 00 00 00 00 00 01 00 01 00 00 00 00", cell), "=X-2_1_1!#REF!");
    // PtgName of BIFF5 is 14 bytes long.
    EXPECT_EQ(text("23 04 00 00 00 00 00 00 00 00 00 00 00 00 00 1E 01 00 03", cell), "=N4+1");
}

TEST(FormulaReferencesBiff5, TruncatedThreeDimensionalReference)
{
    auto result = decompileHex("3A FE FF 00 00 00 00", {}, cellContext(0, 0, 5));
    EXPECT_EQ(result.status.code(), EngineErrc::DamagedFile);
}

} // namespace
