// Built-in, add-in and user-defined function calls, and the PtgAttr forms of SUM, IF and CHOOSE.
#include "FormulaTestBytes.h"
#include "engine/xls/formula/FunctionTable.h"

#include <gtest/gtest.h>

using velquin::engine::EngineErrc;
using velquin::engine::xls::formula::FormulaContext;
using velquin::engine::xls::formula::macroCommand;
using velquin::engine::xls::formula::worksheetFunction;
using velquin::test::cellContext;
using velquin::test::decompileHex;

namespace {

std::string text(std::string_view rgce, const FormulaContext& context = {})
{
    auto result = decompileHex(rgce, {}, context);
    EXPECT_TRUE(result.status) << result.status.description();
    return result.text;
}

TEST(FormulaFunctions, FixedAndVariableArgumentCalls)
{
    EXPECT_EQ(text("21 13 00"), "=PI()");
    EXPECT_EQ(text("1E 02 00 13 41 18 00"), "=ABS(-2)");
    EXPECT_EQ(text("1E 01 00 1E 02 00 1E 03 00 42 03 04 00"), "=SUM(1,2,3)");
    EXPECT_EQ(text("1E 07 00 1E 02 00 41 27 00"), "=MOD(7,2)");
    EXPECT_EQ(text("1E 01 00 1E 02 00 1E 03 00 22 03 50 01"), "=CONCATENATE(1,2,3)");
    EXPECT_EQ(text("22 00 DD 00"), "=TODAY()") << "a variable call may have no arguments at all";
}

TEST(FormulaFunctions, AttrTokensForSumIfAndChoose)
{
    // SUM with one argument is stored as PtgAttr(Sum).
    EXPECT_EQ(text("25 00 00 02 00 00 00 00 00 19 10 00 00"), "=SUM(R1C1:R3C1)");
    // IF(1,2,3) with its jump tokens (AttrIf and two AttrGoto), which change nothing in the text.
    EXPECT_EQ(text("1E 01 00 19 02 08 00 1E 02 00 19 08 0A 00 1E 03 00 19 08 03 00 42 03 01 00"), "=IF(1,2,3)");
    // CHOOSE(1,"a",#REF!) with its jump table of two choices (three offsets).
    EXPECT_EQ(text("1E 01 00 19 04 02 00 06 00 0A 00 0E 00 17 01 00 61 19 08 05 00 2A 00 00 00 00 "
                   "19 08 01 00 42 03 64 00"),
              "=CHOOSE(1,\"a\",#REF!)");
    // A missing argument is left empty.
    EXPECT_EQ(text("1E 01 00 16 1E 03 00 42 03 01 00"), "=IF(1,,3)");
}

TEST(FormulaFunctions, AddInAndNewerFunctionsLoseTheirStoragePrefix)
{
    FormulaContext context = cellContext(1, 1);
    context.externalName = [](std::uint32_t, std::uint32_t index) -> std::optional<std::string> {
        switch (index)
        {
        case 1:
            return "_xlfn.BETA.DIST";
        case 2:
            return "EDATE";
        case 3:
            return "_xlfn._xlws.SORT";
        default:
            return std::nullopt;
        }
    };
    context.definedName = [](std::uint32_t) -> std::optional<std::string> { return "Comment"; };
    // User-defined call (function 255): the first argument is the name.
    EXPECT_EQ(text("39 00 00 01 00 00 00 1E 01 00 1E 02 00 1E 03 00 1E 04 00 42 05 FF 00", context),
              "=BETA.DIST(1,2,3,4)");
    EXPECT_EQ(text("39 00 00 02 00 00 00 44 01 00 01 C0 1E 03 00 42 03 FF 00", context), "=EDATE(RC,3)");
    EXPECT_EQ(text("39 00 00 03 00 00 00 44 01 00 02 C0 42 02 FF 00", context), "=SORT(RC[1])");
    EXPECT_EQ(text("23 01 00 00 00 44 01 00 00 C0 42 02 FF 00", context), "=Comment(RC[-1])");
}

TEST(FormulaFunctions, LinkedDataTypeFieldsReadAsRecordDotField)
{
    FormulaContext context = cellContext(1, 1);
    context.definedName = [](std::uint32_t) -> std::optional<std::string> { return "_xlfn._FV"; };
    EXPECT_EQ(text("23 01 00 00 00 44 01 00 00 C0 17 04 00 48 69 67 68 42 03 FF 00", context), "=RC[-1].High");
    // The third argument TRUE asks for brackets; so does a field name that is not a plain word.
    EXPECT_EQ(text("23 01 00 00 00 44 01 00 00 C0 17 09 00 4C 65 61 64 65 72 28 73 29 1D 01 42 04 FF 00", context),
              "=RC[-1].[Leader(s)]");
    EXPECT_EQ(text("23 01 00 00 00 44 01 00 00 C0 17 03 00 41 20 42 42 03 FF 00", context), "=RC[-1].[A B]");
    // Anything else stays a call, so nothing is lost.
    EXPECT_EQ(text("23 01 00 00 00 44 01 00 00 C0 1E 01 00 42 03 FF 00", context), "=_FV(RC[-1],1)");
}

TEST(FormulaFunctions, MacroCommandsCarryTheirDialogMark)
{
    EXPECT_EQ(text("17 02 00 68 69 22 01 76 80"), "=ALERT(\"hi\")");
    EXPECT_EQ(text("22 80 00 80"), "=BEEP?()");
}

TEST(FormulaFunctions, BadCallsAreDamaged)
{
    EXPECT_EQ(decompileHex("21 CA 00").status.code(), EngineErrc::DamagedFile) << "number 202 is unused";
    EXPECT_EQ(decompileHex("21 04 00").status.code(), EngineErrc::DamagedFile) << "SUM has no fixed count";
    EXPECT_EQ(decompileHex("1E 01 00 22 02 04 00").status.code(), EngineErrc::DamagedFile) << "too few operands";
    EXPECT_EQ(decompileHex("22 00 FF 00").status.code(), EngineErrc::DamagedFile) << "user call without a name";
    auto unknown = decompileHex("1E 01 00 22 01 FF 0F");
    EXPECT_EQ(unknown.status.code(), EngineErrc::DamagedFile);
    EXPECT_NE(unknown.status.detail().find("4095"), std::string::npos) << unknown.status.detail();
}

TEST(FormulaFunctionTable, NumbersAroundTheGapsOfTheTable)
{
    // Spot checks where a shifted row would show: both sides of every unused number and the table's ends.
    const std::pair<std::uint16_t, std::string_view> expected[] = {
        {0, "COUNT"},      {1, "IF"},         {100, "CHOOSE"},        {148, "INDIRECT"},    {201, "UNREGISTER"},
        {204, "USDOLLAR"}, {216, "RANK"},     {219, "ADDRESS"},       {248, "PAUSE"},       {251, "RESUME"},
        {269, "AVEDEV"},   {332, "TINV"},     {334, "MOVIE.COMMAND"}, {336, "CONCATENATE"}, {359, "HYPERLINK"},
        {367, "VARA"},     {368, "BAHTTEXT"}, {379, "RTD"},
    };
    for (const auto& [number, name] : expected)
    {
        auto function = worksheetFunction(number);
        ASSERT_TRUE(function.has_value()) << number;
        EXPECT_EQ(function->name, name) << number;
    }
    for (std::uint16_t unused : {202, 203, 217, 218, 249, 250, 333, 380, 0x7FFF})
        EXPECT_FALSE(worksheetFunction(unused).has_value()) << unused;
    EXPECT_EQ(worksheetFunction(27)->minArgs, 2) << "ROUND";
    EXPECT_EQ(worksheetFunction(31)->maxArgs, 3) << "MID";
    EXPECT_EQ(macroCommand(118).value_or(""), "ALERT");
}

} // namespace
