// Tests of the A1 tokenizer and the A1 -> R1C1 translation of formulas and ranges.
#include "engine/formula/R1C1Translator.h"

#include "engine/formula/A1Tokenizer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace velquin::engine::formula;

namespace {

// Cell B2 (0-based 1,1) is the usual point of view.
std::string fromB2(std::string_view a1)
{
    return toR1C1Formula(a1, 1, 1);
}

std::vector<TokenKind> kinds(std::string_view a1)
{
    std::vector<TokenKind> result;
    A1Tokenizer tokenizer(a1);
    for (Token t = tokenizer.next(); t.kind != TokenKind::End; t = tokenizer.next())
        result.push_back(t.kind);
    return result;
}

} // namespace

TEST(R1C1Formula, RelativeAndAbsoluteCellsBecomeOffsetsOrNumbers)
{
    EXPECT_EQ(fromB2("B2"), "=RC");
    EXPECT_EQ(fromB2("B1"), "=R[-1]C");
    EXPECT_EQ(fromB2("E4"), "=R[2]C[3]");
    EXPECT_EQ(fromB2("$A$1"), "=R1C1");
    EXPECT_EQ(fromB2("$C5"), "=R[3]C3");
    EXPECT_EQ(fromB2("C$5"), "=R5C[1]");
    EXPECT_EQ(fromB2("a1"), "=R[-1]C[-1]");
    EXPECT_EQ(toR1C1Formula("XFD1048576", 0, 0), "=R[1048575]C[16383]");
}

TEST(R1C1Formula, RangesWholeRowsAndColumns)
{
    EXPECT_EQ(fromB2("SUM(A1:B3)"), "=SUM(R[-1]C[-1]:R[1]C)");
    EXPECT_EQ(fromB2("SUM($A:$C)"), "=SUM(C1:C3)");
    EXPECT_EQ(fromB2("SUM(A:A)"), "=SUM(C[-1])");
    EXPECT_EQ(fromB2("SUM($2:$2)"), "=SUM(R2)");
    EXPECT_EQ(fromB2("SUM(3:5)"), "=SUM(R[1]:R[3])");
    EXPECT_EQ(fromB2("SUM($1:4)"), "=SUM(R1:R[2])");
}

TEST(R1C1Formula, SheetPrefixesAreKeptWithTheirQuoting)
{
    EXPECT_EQ(fromB2("Sheet2!A1"), "=Sheet2!R[-1]C[-1]");
    EXPECT_EQ(fromB2("SUM('Named Ranges'!$A$2:$A$6)"), "=SUM('Named Ranges'!R2C1:R6C1)");
    EXPECT_EQ(fromB2("'It''s'!B2"), "='It''s'!RC");
    EXPECT_EQ(fromB2("SUM(Sheet1:Sheet3!C3)"), "=SUM(Sheet1:Sheet3!R[1]C[1])");
    EXPECT_EQ(fromB2("SUM('Jan 1:Mar 3'!C3)"), "=SUM('Jan 1:Mar 3'!R[1]C[1])");
    // A sheet whose name looks like a cell is still a sheet.
    EXPECT_EQ(fromB2("AB1!A1+AB1:AB3!A1"), "=AB1!R[-1]C[-1]+AB1:AB3!R[-1]C[-1]");
    EXPECT_EQ(fromB2("日本語!$I$2"), "=日本語!R2C9");
    EXPECT_EQ(fromB2("[1]Sheet1!$A$1"), "=[1]Sheet1!R1C1");
    EXPECT_EQ(fromB2("SUM([0]!Totals)"), "=SUM(Totals)");
    EXPECT_EQ(fromB2("'Top10'!$A$1+'Jan 1'!A1+'日本語'!A1"), "=Top10!R1C1+'Jan 1'!R[-1]C[-1]+日本語!R[-1]C[-1]");
    EXPECT_EQ(fromB2("'A1'!B2+'R2C3'!B2+'RC'!B2+'1x'!B2+'R2D'!B2"), "=A1!RC+'R2C3'!RC+'RC'!RC+'1x'!RC+R2D!RC");
}

TEST(R1C1Formula, ExternalBooksAreWrittenWithTheirPaths)
{
    const std::vector<ExternalBook> books{{"C:\\Docs\\", "Book2.xlsx"}, {"", "It's.xlsx"}, {"", ""}};
    const auto at = [&books](std::string_view a1) { return toR1C1Formula(a1, 1, 1, books); };
    EXPECT_EQ(at("[1]Sheet1!$A$1+[1]Sheet1:Sheet3!B2"),
              "='C:\\Docs\\[Book2.xlsx]Sheet1'!R1C1+'C:\\Docs\\[Book2.xlsx]Sheet1:Sheet3'!RC");
    EXPECT_EQ(at("SUM('[2]My ''Data'''!A1:B2)"), "=SUM('[It''s.xlsx]My ''Data'''!R[-1]C[-1]:RC)");
    EXPECT_EQ(at("[1]!Total*[0]!Own"), "=Book2.xlsx!Total*Own");
    // A link that could not be read, or a number past the list, stays as written.
    EXPECT_EQ(at("[3]Sheet1!A1+[4]Sheet1!A1"), "=[3]Sheet1!R[-1]C[-1]+[4]Sheet1!R[-1]C[-1]");
    EXPECT_EQ(at("\"[1]Sheet1!A1\"&Table1[Col]"), "=\"[1]Sheet1!A1\"&Table1[Col]");
}

TEST(R1C1Formula, LiteralsAndNamesAreNotReferences)
{
    EXPECT_EQ(fromB2("\"A1 and \"\"B2\"\"\"&C3"), "=\"A1 and \"\"B2\"\"\"&R[1]C[1]");
    EXPECT_EQ(fromB2("IF(ISERROR(A1),#N/A,#DIV/0!)"), "=IF(ISERROR(R[-1]C[-1]),#N/A,#DIV/0!)");
    EXPECT_EQ(fromB2("INDEX({1,2;\"A1\",4},1,2)"), "=INDEX({1,2;\"A1\",4},1,2)");
    EXPECT_EQ(fromB2("SUM(col1_)*TRUE"), "=SUM(col1_)*TRUE");
    EXPECT_EQ(fromB2("LOG10(100)+ABCD1+XFE1"), "=LOG10(100)+ABCD1+XFE1");
    EXPECT_EQ(fromB2("1.5E-3+.5+2e+10"), "=1.5E-3+.5+2e+10");
    EXPECT_EQ(fromB2("SUM(Table1[[#Headers],[Col A1]])+Table1[#All]"),
              "=SUM(Table1[[#Headers],[Col A1]])+Table1[#All]");
}

TEST(R1C1Formula, FutureFunctionMarksAreDropped)
{
    EXPECT_EQ(fromB2("_xlfn.BETA.DIST(A1,2,3,TRUE)"), "=BETA.DIST(R[-1]C[-1],2,3,TRUE)");
    EXPECT_EQ(fromB2("_xlfn._xlws.SORT(A1:A3)"), "=SORT(R[-1]C[-1]:R[1]C[-1])");
    EXPECT_EQ(fromB2("_xlfn.LET(_xlpm.x,1,_xlpm.x+A1)"), "=LET(x,1,x+R[-1]C[-1])");
}

TEST(R1C1Formula, FieldsOfLinkedDataTypesAreWrittenAsExcelShowsThem)
{
    EXPECT_EQ(fromB2("_FV(A2,\"High\")"), "=RC[-1].High");
    EXPECT_EQ(fromB2("_FV(A2,\"Leader(s)\",TRUE)"), "=RC[-1].[Leader(s)]");
    EXPECT_EQ(fromB2("_FV($A$1, \"Name\", TRUE)+1"), "=R1C1.[Name]+1");
    EXPECT_EQ(fromB2("_FV(Sheet2!B2,\"Unit Price\",FALSE)"), "=Sheet2!RC.[Unit Price]");
    EXPECT_EQ(fromB2("_FV(Stock,\"Say \"\"hi\"\"\")"), "=Stock.[Say \"hi\"]");
    // Anything else stays a call.
    EXPECT_EQ(fromB2("_FV(A1:A2,\"High\")"), "=_FV(R[-1]C[-1]:RC[-1],\"High\")");
    EXPECT_EQ(fromB2("_FV(A2)"), "=_FV(RC[-1])");
}

TEST(R1C1Formula, OperatorsUnionsAndIntersectionsSurvive)
{
    EXPECT_EQ(fromB2("AREAS((A1:B2,C3))"), "=AREAS((R[-1]C[-1]:RC,R[1]C[1]))");
    EXPECT_EQ(fromB2("SUM(A1:C3 B2:B9)"), "=SUM(R[-1]C[-1]:R[1]C[1] RC:R[7]C)");
    EXPECT_EQ(fromB2("A1<>B2>=-C3%"), "=R[-1]C[-1]<>RC>=-R[1]C[1]%");
}

TEST(R1C1Formula, MalformedInputIsCopiedNotLost)
{
    EXPECT_EQ(fromB2("\"unterminated"), "=\"unterminated");
    EXPECT_EQ(fromB2("SUM(Table1[[x]"), "=SUM(Table1[[x]");
    EXPECT_EQ(fromB2("{1,2"), "={1,2");
    EXPECT_EQ(fromB2("'Sheet"), "='Sheet");
    EXPECT_EQ(fromB2("A0+$+~"), "=A0+$+~");
    std::string deep(100000, '(');
    EXPECT_EQ(fromB2(deep).size(), deep.size() + 1);
}

TEST(A1Tokenizer, ClassifiesReferencesBeforeNames)
{
    using K = TokenKind;
    EXPECT_EQ(kinds("SUM(A1:B2)"),
              (std::vector<K>{K::Function, K::Open, K::CellRef, K::Operator, K::CellRef, K::Close}));
    EXPECT_EQ(kinds("Sheet1!A:C 1:2"), (std::vector<K>{K::SheetPrefix, K::ColumnRange, K::Whitespace, K::RowRange}));
    EXPECT_EQ(kinds("#REF!+name"), (std::vector<K>{K::Error, K::Operator, K::Name}));
}

TEST(R1C1Range, ListsOfRangesBecomeAbsoluteOrRelative)
{
    std::string out;
    ASSERT_TRUE(rangeListToR1C1("A1:B3 D5", false, 0, 0, out));
    EXPECT_EQ(out, "R1C1:R3C2,R5C4");
    ASSERT_TRUE(rangeListToR1C1("C3:C5", true, 2, 2, out));
    EXPECT_EQ(out, "RC:R[2]C");
    ASSERT_TRUE(rangeListToR1C1("C3", true, 2, 2, out));
    EXPECT_EQ(out, "RC");
    ASSERT_TRUE(rangeListToR1C1("A:B 3:3", false, 0, 0, out));
    EXPECT_EQ(out, "C1:C2,R3");
    ASSERT_TRUE(rangeListToR1C1("B3:A1", false, 0, 0, out));
    EXPECT_EQ(out, "R1C1:R3C2");
    EXPECT_FALSE(rangeListToR1C1("A1:ZZZZ2", false, 0, 0, out));
    EXPECT_FALSE(rangeListToR1C1("", false, 0, 0, out));
    EXPECT_FALSE(rangeListToR1C1("A1048577", false, 0, 0, out));
}

TEST(R1C1Range, AbsoluteCellsRowsAndColumnsOnly)
{
    const auto range = [](std::string_view text) {
        CellRange r;
        return parseR1C1Range(text, r) ? std::to_string(r.firstRow) + "," + std::to_string(r.firstCol) + ":" +
                                             std::to_string(r.lastRow) + "," + std::to_string(r.lastCol)
                                       : std::string("-");
    };
    EXPECT_EQ(range("R2C3"), "1,2:1,2");
    EXPECT_EQ(range("R4C2:R1C1"), "0,0:3,1"); // corners in either order
    EXPECT_EQ(range("R5"), "4,0:4,16383");
    EXPECT_EQ(range("C1:C3"), "0,0:1048575,2");
    EXPECT_EQ(range("R1048576C16384"), "1048575,16383:1048575,16383");
    for (const char* other : {"R[1]C", "RC", "R0C1", "R1048577C1", "R1C16385", "R1:C1", "R1C1:R2", "A1", "R1C1 ", ""})
        EXPECT_EQ(range(other), "-") << other;
}
