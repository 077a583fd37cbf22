// Operators, parentheses and the spaces Excel keeps between tokens.
#include "FormulaTestBytes.h"

#include <gtest/gtest.h>

using velquin::test::decompileHex;

namespace {

std::string text(std::string_view rgce)
{
    auto result = decompileHex(rgce);
    EXPECT_TRUE(result.status) << result.status.description();
    return result.text;
}

TEST(FormulaOperators, BinaryOperatorsTakeTheirOperandsInStoredOrder)
{
    EXPECT_EQ(text("1E 01 00 1E 02 00 03"), "=1+2");
    EXPECT_EQ(text("1E 05 00 1E 02 00 04"), "=5-2");
    EXPECT_EQ(text("1E 01 00 1E 02 00 05 1E 03 00 06"), "=1*2/3");
    EXPECT_EQ(text("1E 02 00 1E 03 00 07"), "=2^3");
    EXPECT_EQ(text("17 01 00 61 17 01 00 62 08"), "=\"a\"&\"b\"");
    EXPECT_EQ(text("1E 01 00 1E 02 00 09 "), "=1<2");
    EXPECT_EQ(text("1E 01 00 1E 02 00 0A"), "=1<=2");
    EXPECT_EQ(text("1E 01 00 1E 02 00 0B"), "=1=2");
    EXPECT_EQ(text("1E 01 00 1E 02 00 0C"), "=1>=2");
    EXPECT_EQ(text("1E 01 00 1E 02 00 0D"), "=1>2");
    EXPECT_EQ(text("1E 01 00 1E 02 00 0E"), "=1<>2");
}

TEST(FormulaOperators, ReferenceOperatorsJoinAreas)
{
    // A1:B2 C1 intersection, A1,B1 union, A1:B1 range between two cell references (cell at row 0, col 0).
    EXPECT_EQ(text("25 00 00 01 00 00 00 01 00 24 00 00 02 00 0F"), "=R1C1:R2C2 R1C3");
    EXPECT_EQ(text("24 00 00 00 00 24 00 00 01 00 10 15"), "=(R1C1,R1C2)");
    EXPECT_EQ(text("24 00 00 00 00 24 00 00 01 00 11"), "=R1C1:R1C2");
}

TEST(FormulaOperators, UnaryOperatorsAndPercent)
{
    EXPECT_EQ(text("1E 05 00 13"), "=-5");
    EXPECT_EQ(text("1E 05 00 12"), "=+5");
    EXPECT_EQ(text("1E 05 00 14"), "=5%");
    EXPECT_EQ(text("1E 05 00 13 14 13"), "=--5%");
}

TEST(FormulaOperators, ParenthesesOnlyWhereStored)
{
    // (1+2)*3 keeps its stored parentheses; 1+2*3 gets none even though * binds tighter.
    EXPECT_EQ(text("1E 01 00 1E 02 00 03 15 1E 03 00 05"), "=(1+2)*3");
    EXPECT_EQ(text("1E 01 00 1E 02 00 1E 03 00 05 03"), "=1+2*3");
    // A stream that means (1+2)*3 without PtgParen is written as it stands.
    EXPECT_EQ(text("1E 01 00 1E 02 00 03 1E 03 00 05"), "=1+2*3");
    EXPECT_EQ(text("1E 01 00 15 15"), "=((1))");
}

TEST(FormulaOperators, SpacesAndLineBreaksStayWhereExcelPutThem)
{
    // "=1 + 2": one space before the operator, one before the right operand.
    EXPECT_EQ(text("1E 01 00 19 40 00 01 1E 02 00 19 40 00 01 03"), "=1 + 2");
    // A line break before an operand, spaces before "(" and before ")".
    EXPECT_EQ(text("1E 01 00 19 40 01 01 1E 02 00 03"), "=1+\n2");
    EXPECT_EQ(text("1E 01 00 19 40 02 02 19 40 04 01 15"), "=  (1 )");
    // Spaces before a function's closing parenthesis and before an argument.
    EXPECT_EQ(text("1E 01 00 19 40 00 01 1E 02 00 19 40 04 02 22 02 04 00"), "=SUM(1, 2  )");
    // Line breaks before "(" and ")", and the volatile form of the space token (0x41).
    EXPECT_EQ(text("1E 01 00 19 40 03 01 19 40 05 02 15"), "=\n(1\n\n)");
    EXPECT_EQ(text("1E 01 00 19 41 00 02 1E 02 00 03"), "=1+  2");
    // Leading spaces before the whole expression.
    EXPECT_EQ(text("19 40 06 03 1E 07 00"), "=   7");
}

} // namespace
