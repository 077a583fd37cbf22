// Tests of the .xlsx reader through its entry point: cells of every type, formulas, sheet structure and the
// refusal of damaged or hostile packages.
#include "engine/xlsx/XlsxReader.h"

#include "XlsxTestPackage.h"
#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/ExternalLinkReader.h"
#include "engine/xlsx/SharedStrings.h"
#include "engine/xlsx/ZipPackage.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace velquin::engine;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using velquin::test::RecordingSink;
using velquin::test::TempDir;
using velquin::test::XlsxTestPackage;

namespace {

struct Opened
{
    Status open;
    Status sheet;
    RecordingSink sink;
    std::unique_ptr<model::WorkbookReader> reader;
};

Opened readFirstSheet(const XlsxTestPackage& package)
{
    TempDir dir;
    std::string path = dir.file("book.xlsx");
    EXPECT_TRUE(package.save(path));
    Opened result;
    result.open = xlsx::openXlsx(path, result.reader);
    if (result.open)
        result.sheet = result.reader->readSheet(0, result.sink);
    return result;
}

} // namespace

TEST(XlsxCells, FormulaTextDecodesItsEscapes)
{
    XlsxTestPackage package;
    package.sheetData(R"(<row r="1"><c r="A1" t="str"><f>"a_x000D_b"&amp;"_x005F_x0041_"</f><v>x</v></c></row>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    EXPECT_THAT(book.sink.lines, ElementsAre("row 1", "A1 s 'x' =\"a\rb\"&\"_x0041_\""));
}

TEST(XlsxPackage, EntryNamesWithBackslashesAreParts)
{
    // "xl\\workbook.xml", "xl\\worksheets\\sheet1.xml": the separator read as '/', the case ignored as ever.
    XlsxTestPackage package;
    package.sheetData(R"(<row r="1"><c r="A1"><v>7</v></c></row>)").backslashNames();
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.open) << book.open.detail();
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    EXPECT_THAT(book.sink.lines, ElementsAre("row 1", "A1 n 7"));
}

TEST(XlsxCells, EveryCellTypeReadsWithItsValue)
{
    XlsxTestPackage package;
    package.sheetData(
        R"(<row r="1"><c r="A1"><v>42.5</v></c><c r="B1" t="s"><v>0</v></c><c r="C1" t="s"><v>1</v></c>)"
        R"(<c r="D1" t="b"><v>1</v></c><c r="E1" t="e"><v>#DIV/0!</v></c></row>)"
        R"(<row r="3"><c r="A3" t="inlineStr"><is><t>in_x000D_line</t></is></c><c r="B3" t="str"><f>"x"&amp;"y"</f><v>xy</v></c>)"
        R"(<c r="C3" t="d"><v>1900-03-01T12:00:00</v></c><c r="D3"/><c r="Z3" t="n"><v>-1E-3</v></c></row>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.open) << book.open.detail();
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    EXPECT_THAT(book.sink.lines, ElementsAre("row 1", "A1 n 42.5", "B1 s 'first'", "C1 s 'bold part' [bold ] [b:part]",
                                             "D1 b 1", "E1 e #DIV/0!", "row 3", "A3 s 'in\rline'",
                                             "B3 s 'xy' =\"x\"&\"y\"", "C3 n 61.5", "Z3 n -0.001"));
    EXPECT_TRUE(book.sink.ended);
}

TEST(XlsxCells, SharedFormulasGiveTheAnchorsR1C1TextToEveryCellOfTheGroup)
{
    XlsxTestPackage package;
    package.sheetData(
        R"(<row r="2"><c r="B2"><f t="shared" ref="B2:B4" si="0">A2*$C$1</f><v>1</v></c></row>)"
        R"(<row r="3"><c r="B3"><f t="shared" si="0"/><v>2</v></c></row>)"
        R"(<row r="4"><c r="B4"><f t="shared" si="0"/><v>3</v></c>)"
        R"(<c r="C4"><f t="array" ref="C4:D5">A1:B2*2</f><v>4</v></c><c r="E4"><f t="shared" si="7"/><v>5</v></c></row>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    EXPECT_THAT(book.sink.lines,
                ElementsAre("row 2", "B2 n 1 =RC[-1]*R1C3", "row 3", "B3 n 2 =RC[-1]*R1C3", "row 4",
                            "B4 n 3 =RC[-1]*R1C3", "C4 n 4 =R[-3]C[-2]:R[-2]C[-1]*2 {RC:R[1]C[1]}", "E4 n 5"));
}

TEST(XlsxCells, RowsWithoutNumbersFollowTheirPredecessorAndCarryTheirFormat)
{
    XlsxTestPackage package;
    package.sheetData(R"(<row r="2" ht="30" customHeight="1" hidden="1"><c><v>1</v></c><c><v>2</v></c></row>)"
                      R"(<row s="0" customFormat="1"><c r="C3"><v>3</v></c></row>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    EXPECT_THAT(book.sink.lines, ElementsAre("row 2 ht 30.0 hidden", "A2 n 1", "B2 n 2", "row 3 s0", "C3 n 3"));
}

TEST(XlsxSheet, HeaderHoldsMergesLinksAndColumnsThatFollowTheCells)
{
    XlsxTestPackage package;
    package.part(
        "xl/worksheets/sheet1.xml",
        R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
        R"(<sheetViews><sheetView tabSelected="1" workbookViewId="0"><pane xSplit="1" ySplit="2" topLeftCell="B3" )"
        R"(activePane="bottomRight" state="frozen"/></sheetView></sheetViews>)"
        R"(<sheetFormatPr defaultRowHeight="15"/><cols><col min="2" max="3" width="9.140625" customWidth="1"/></cols>)"
        R"(<sheetData><row r="1"><c r="A1"><v>1</v></c></row></sheetData>)"
        R"(<mergeCells count="1"><mergeCell ref="B2:D3"/></mergeCells>)"
        R"(<hyperlinks><hyperlink ref="A1" r:id="rId1" location="part" tooltip="Go"/>)"
        R"(<hyperlink ref="B5" location="'My Sheet'!C3"/><hyperlink ref="B6" location="Local"/>)"
        R"(<hyperlink ref="B7" location="Global"/><hyperlink ref="B8" location="'Sheet1'!Local"/><hyperlink ref="B9"/></hyperlinks></worksheet>)");
    package.part(
        "xl/workbook.xml",
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)"
        R"(<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets><definedNames><definedName name="Global">Sheet1!$A$1)"
        R"(</definedName><definedName name="Local" localSheetId="0">Sheet1!$C$7:$E$8</definedName></definedNames></workbook>)");
    package.part(
        "xl/worksheets/_rels/sheet1.xml.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink" )"
        R"(Target="http://example.com/a%20b" TargetMode="External"/></Relationships>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    const model::SheetHeader& header = book.sink.header;
    ASSERT_EQ(header.merges.size(), 1u);
    EXPECT_EQ(header.merges[0].firstRow, 1u);
    EXPECT_EQ(header.merges[0].lastCol, 3u);
    ASSERT_EQ(header.hyperlinks.size(), 6u);
    EXPECT_EQ(header.hyperlinks[0].href, "http://example.com/a%20b#part");
    EXPECT_EQ(header.hyperlinks[0].screenTip, "Go");
    EXPECT_EQ(header.hyperlinks[1].href, "#'My Sheet'!C3");
    EXPECT_EQ(header.hyperlinks[2].href, "#Sheet1!C7:E8"); // a name of the sheet shows its range
    EXPECT_EQ(header.hyperlinks[3].href, "#Global");
    EXPECT_EQ(header.hyperlinks[4].href, "#Sheet1!C7:E8");
    EXPECT_EQ(header.hyperlinks[5].href, ""); // no target: still a link
    EXPECT_EQ(header.hyperlinks[5].firstRow, 8u);
    ASSERT_EQ(header.columns.size(), 1u);
    EXPECT_EQ(header.columns[0].first, 1u);
    EXPECT_DOUBLE_EQ(header.columns[0].width, 48); // 64 pixels of Calibri 11
    EXPECT_DOUBLE_EQ(header.defaultRowHeight, 15);
    const model::SheetOptions& options = book.sink.options;
    EXPECT_TRUE(options.selected);
    EXPECT_EQ(options.paneKind, model::PaneKind::Frozen);
    EXPECT_EQ(options.splitRows, 2u);
    EXPECT_EQ(options.splitCols, 1u);
    EXPECT_EQ(options.topRowBottomPane, 2u);
    EXPECT_EQ(options.activePane, 0);
}

TEST(XlsxSheet, HyperlinkFormulasWithALiteralTargetLinkTheirCell)
{
    XlsxTestPackage package;
    package.sheetData(
        R"(<row r="2"><c r="B2" t="str"><f>HYPERLINK("http://x.y/?q=""a""","go")</f><v>go</v></c>)"
        R"(<c r="C2" t="str"><f>HYPERLINK(A1)</f><v>x</v></c><c r="D2" t="str"><f>HYPERLINK("#Own!A1")</f>)"
        R"(<v>y</v></c><c r="E2" t="str"><f>T("HYPERLINK(")</f><v/></c></row>)",
        R"(<hyperlinks><hyperlink ref="D2" location="Else!B1"/></hyperlinks>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    const std::vector<model::Hyperlink>& links = book.sink.header.hyperlinks;
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].href, "#Else!B1"); // the sheet's own link wins over the formula's
    EXPECT_EQ(links[1].firstRow, 1u);
    EXPECT_EQ(links[1].firstCol, 1u);
    EXPECT_EQ(links[1].href, "http://x.y/?q=\"a\"");
}

TEST(XlsxSheet, CommentsComeWithTheirAuthors)
{
    XlsxTestPackage package;
    package.part(
        "xl/worksheets/_rels/sheet1.xml.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/comments" )"
        R"(Target="../comments1.xml"/></Relationships>)");
    package.part(
        "xl/comments1.xml",
        R"(<comments xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><authors><author>Ann</author>)"
        R"(<author>Bob</author></authors><commentList><comment ref="C2" authorId="1"><text><r><rPr><b/></rPr>)"
        R"(<t>Bob:</t></r><r><t xml:space="preserve"> note</t></r></text></comment></commentList></comments>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    ASSERT_EQ(book.sink.header.comments.size(), 1u);
    const model::Comment& comment = book.sink.header.comments[0];
    EXPECT_EQ(comment.row, 1u);
    EXPECT_EQ(comment.col, 2u);
    EXPECT_EQ(comment.author, "Bob");
    ASSERT_EQ(comment.text.size(), 2u);
    EXPECT_TRUE(comment.text[0].font.bold);
    EXPECT_EQ(comment.text[1].text, " note");
}

TEST(XlsxWorkbookPart, SheetsNamesAndWindowComeFromAWorkbookPartAnywhere)
{
    XlsxTestPackage package;
    package.part(
        "_rels/.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" )"
        R"(Target="/book/main.xml"/></Relationships>)");
    package.part(
        "book/main.xml",
        R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
        R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><workbookPr date1904="1"/>)"
        R"(<bookViews><workbookView activeTab="1"/></bookViews><sheets><sheet name="One" sheetId="1" r:id="rId1"/>)"
        R"(<sheet name="Two" sheetId="2" state="veryHidden" r:id="rId1"/></sheets><definedNames>)"
        R"(<definedName name="_xlnm.Print_Area" localSheetId="1">Two!$A$1:$B$4</definedName>)"
        R"(<definedName name="Total">SUM(One!$A:$A)</definedName></definedNames>)"
        R"(<extLst><ext uri="x"><x15:workbookPr xmlns:x15="x15" chartTrackingRefBase="1"/></ext></extLst></workbook>)");
    package.part(
        "book/_rels/main.xml.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" )"
        R"(Target="/xl/worksheets/sheet1.xml"/></Relationships>)");
    package.sheetData(R"(<row r="1"><c r="A1" t="d"><v>1904-01-02</v></c></row>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.open) << book.open.detail();
    const model::WorkbookInfo& info = book.reader->info();
    ASSERT_EQ(info.sheets.size(), 2u);
    EXPECT_EQ(info.sheets[1].visibility, model::Visibility::VeryHidden);
    EXPECT_EQ(info.activeSheet, 1);
    EXPECT_TRUE(info.date1904);
    ASSERT_EQ(info.names.size(), 2u);
    EXPECT_EQ(info.names[0].name, "Print_Area");
    EXPECT_EQ(info.names[0].refersTo, "=Two!R1C1:R4C2");
    EXPECT_EQ(info.names[0].sheet, 1);
    EXPECT_EQ(info.names[1].refersTo, "=SUM(One!C1)");
    EXPECT_THAT(book.sink.lines, ElementsAre("row 1", "A1 n 1"));
}

TEST(XlsxWorkbookPart, ExternalReferencesResolveToTheLinkedBooksPath)
{
    XlsxTestPackage package;
    package.part("xl/workbook.xml",
                 R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                 R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><sheets>)"
                 R"(<sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets><externalReferences>)"
                 R"(<externalReference r:id="rId3"/><externalReference r:id="rId9"/></externalReferences>)"
                 R"(<definedNames><definedName name="Far">[1]Data!$B$2+[2]Data!$B$2</definedName></definedNames>)"
                 R"(</workbook>)");
    package.part(
        "xl/_rels/workbook.xml.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" )"
        R"(Target="worksheets/sheet1.xml"/><Relationship Id="rId3" )"
        R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/externalLink" )"
        R"(Target="externalLinks/externalLink1.xml"/></Relationships>)");
    package.part("xl/externalLinks/externalLink1.xml",
                 R"(<externalLink xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                 R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
                 R"(<externalBook r:id="rId1"><sheetNames><sheetName val="Data"/></sheetNames></externalBook>)"
                 R"(</externalLink>)");
    package.part("xl/externalLinks/_rels/externalLink1.xml.rels",
                 R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                 R"(<Relationship Id="rId1" TargetMode="External" Target="file:///C:\Docs\My%20Book.xlsx" )"
                 R"(Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/externalLinkPath"/>)"
                 R"(</Relationships>)");
    package.sheetData(R"(<row r="1"><c r="A1"><f>SUM([1]Data!A1:A3)</f><v>6</v></c></row>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.sheet) << book.sheet.detail();
    EXPECT_THAT(book.sink.lines, ElementsAre("row 1", "A1 n 6 =SUM('C:\\Docs\\[My Book.xlsx]Data'!RC:R[2]C)"));
    ASSERT_EQ(book.reader->info().names.size(), 1u);
    EXPECT_EQ(book.reader->info().names[0].refersTo, "='C:\\Docs\\[My Book.xlsx]Data'!R2C2+[2]Data!R2C2");

    const auto path = [](std::string_view target) {
        const formula::ExternalBook b = xlsx::externalBookFromTarget(target);
        return b.folder + "|" + b.file;
    };
    EXPECT_EQ(path("Book2.xlsx"), "|Book2.xlsx");
    EXPECT_EQ(path("../Shared/Book2.xlsx"), "..\\Shared\\|Book2.xlsx");
    EXPECT_EQ(path("file://server/share/b.xlsx"), "\\\\server\\share\\|b.xlsx");
    EXPECT_EQ(path("https://example.com/d/b.xlsx"), "https://example.com/d/|b.xlsx");
}

TEST(XlsxStyles, FontsOfTheThemeSchemeTakeTheThemesTypeface)
{
    XlsxTestPackage package;
    package.part(
        "xl/_rels/workbook.xml.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
        R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
        R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme" Target="theme/theme1.xml"/>)"
        R"(</Relationships>)");
    package.part(
        "xl/theme/theme1.xml",
        R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:themeElements><a:clrScheme name="x">)"
        R"(<a:dk1><a:sysClr val="windowText" lastClr="000000"/></a:dk1><a:lt1><a:srgbClr val="FFFFFF"/></a:lt1>)"
        R"(<a:dk2><a:srgbClr val="44546A"/></a:dk2><a:lt2><a:srgbClr val="E7E6E6"/></a:lt2><a:accent1><a:srgbClr val="4472C4"/>)"
        R"(</a:accent1></a:clrScheme><a:fontScheme name="x"><a:majorFont><a:latin typeface="Cambria"/></a:majorFont>)"
        R"(<a:minorFont><a:latin typeface="Calibri"/><a:font script="Jpan" typeface="JP"/></a:minorFont></a:fontScheme>)"
        R"(</a:themeElements></a:theme>)");
    package.part(
        "xl/styles.xml",
        R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><fonts count="2">)"
        R"(<font><sz val="11"/><color theme="1"/><name val="JP"/><charset val="128"/><scheme val="minor"/></font>)"
        R"(<font><sz val="9"/><color theme="4" tint="0.39997558519241921"/><name val="Arial"/></font></fonts>)"
        R"(<fills count="1"><fill><patternFill patternType="solid"><fgColor theme="4" tint="-0.249977111117893"/></patternFill></fill></fills>)"
        R"(<borders count="1"><border/></borders><cellStyleXfs count="1"><xf fontId="0"/></cellStyleXfs>)"
        R"(<cellXfs count="2"><xf fontId="0" xfId="0"/><xf fontId="1" fillId="0" xfId="0" applyFont="1" applyFill="1"/></cellXfs>)"
        R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles></styleSheet>)");
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.open) << book.open.detail();
    const model::WorkbookInfo& info = book.reader->info();
    ASSERT_EQ(info.cellStyles.size(), 2u);
    EXPECT_EQ(info.cellStyles[0].font.name, "Calibri");
    EXPECT_EQ(info.cellStyles[0].font.charset, 0);
    EXPECT_EQ(info.cellStyles[0].font.color, (model::Rgb{0, 0, 0}));
    // Accent 1 lighter 40% and darker 25%: Excel's palette shows 8EA9DB and 2F5496; the published tint arithmetic
    // lands within one step of each channel.
    EXPECT_EQ(info.cellStyles[1].font.name, "Arial");
    ASSERT_TRUE(info.cellStyles[1].font.color);
    EXPECT_NEAR(info.cellStyles[1].font.color->r, 0x8E, 1);
    EXPECT_NEAR(info.cellStyles[1].font.color->b, 0xDB, 1);
    ASSERT_TRUE(info.cellStyles[1].interior.color);
    EXPECT_NEAR(info.cellStyles[1].interior.color->g, 0x54, 1);
    EXPECT_NEAR(info.cellStyles[1].interior.color->b, 0x96, 1);
}

TEST(XlsxWorkbookPart, StrictPackagesAndChartSheetsReadLikeTransitionalOnes)
{
    XlsxTestPackage package;
    package.part(
        "_rels/.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument" )"
        R"(Target="xl/workbook.xml"/></Relationships>)");
    package.part(
        "xl/workbook.xml",
        R"(<x:workbook xmlns:x="http://purl.oclc.org/ooxml/spreadsheetml/main" )"
        R"(xmlns:r="http://purl.oclc.org/ooxml/officeDocument/relationships"><x:sheets>)"
        R"(<x:sheet name="Chart" sheetId="1" r:id="rId3"/><x:sheet name="Data" sheetId="2" state="hidden" r:id="rId1"/>)"
        R"(</x:sheets></x:workbook>)");
    package.part(
        "xl/_rels/workbook.xml.rels",
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
        R"(<Relationship Id="rId2" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/sharedStrings" Target="sharedStrings.xml"/>)"
        R"(<Relationship Id="rId3" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/chartsheet" Target="chartsheets/sheet1.xml"/>)"
        R"(</Relationships>)");
    package.part(
        "xl/worksheets/sheet1.xml",
        R"(<x:worksheet xmlns:x="http://purl.oclc.org/ooxml/spreadsheetml/main"><x:sheetData><x:row r="1">)"
        R"(<x:c r="A1" t="s"><x:v>0</x:v></x:c><x:c r="B1" t="inlineStr"><x:is><x:r><x:rPr><x:i/></x:rPr><x:t>it</x:t>)"
        R"(</x:r><x:r><x:t>!</x:t></x:r></x:is></x:c></x:row></x:sheetData></x:worksheet>)");
    TempDir dir;
    std::string path = dir.file("strict.xlsx");
    ASSERT_TRUE(package.save(path));
    std::unique_ptr<model::WorkbookReader> reader;
    Status open = xlsx::openXlsx(path, reader);
    ASSERT_TRUE(open) << open.detail();
    const model::WorkbookInfo& info = reader->info();
    ASSERT_EQ(info.sheets.size(), 2u);
    EXPECT_EQ(info.sheets[0].kind, model::SheetKind::Chart);
    EXPECT_EQ(info.sheets[1].kind, model::SheetKind::Worksheet);
    EXPECT_EQ(info.sheets[1].visibility, model::Visibility::Hidden);

    RecordingSink chart;
    EXPECT_TRUE(reader->readSheet(0, chart));
    EXPECT_FALSE(chart.ended); // charts have no cells to stream
    RecordingSink data;
    Status status = reader->readSheet(1, data);
    ASSERT_TRUE(status) << status.detail();
    EXPECT_THAT(data.lines, ElementsAre("row 1", "A1 s 'first'", "B1 s 'it!' [it] [!]"));
    EXPECT_EQ(reader->readSheet(2, data).code(), EngineErrc::InvalidState);
}

TEST(XlsxDamage, CellsOutOfOrderOrOutsideTheSheetAreDamage)
{
    struct Case
    {
        const char* rows;
        const char* says;
    };
    for (Case c :
         {Case{R"(<row r="2"/><row r="1"/>)", "comes after row 2"}, Case{R"(<row r="1048577"/>)", "outside the sheet"},
          Case{R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)", "outside the sheet"},
          Case{R"(<row r="1"><c r="B1"><v>1</v></c><c r="A1"><v>1</v></c></row>)", "to its right"},
          Case{R"(<row r="1"><c r="A2"><v>1</v></c></row>)", "not in its row"},
          Case{R"(<row r="1"><c r="A1" t="s"><v>2</v></c></row>)", "does not exist"},
          Case{R"(<row r="1"><c r="A1"><v>abc</v></c></row>)", "not a number"}})
    {
        XlsxTestPackage package;
        package.sheetData(c.rows);
        Opened book = readFirstSheet(package);
        ASSERT_TRUE(book.open) << book.open.detail();
        EXPECT_EQ(book.sheet.code(), EngineErrc::DamagedFile) << c.rows;
        EXPECT_THAT(book.sheet.detail(), HasSubstr(c.says)) << c.rows;
        EXPECT_THAT(book.sheet.detail(), HasSubstr("xl/worksheets/sheet1.xml")) << c.rows;
        EXPECT_FALSE(book.sink.ended);
    }
}

TEST(XlsxDamage, DocumentTypesEntitiesAndDeepNestingAreRefused)
{
    XlsxTestPackage doctype;
    doctype.part("xl/workbook.xml", R"(<!DOCTYPE w [<!ENTITY a "aaaaaaaa">]><workbook>&a;</workbook>)");
    EXPECT_EQ(readFirstSheet(doctype).open.code(), EngineErrc::DamagedFile);

    XlsxTestPackage deep;
    std::string nested;
    for (int i = 0; i < 300; ++i)
        nested += "<x>";
    deep.sheetData("", nested);
    Opened book = readFirstSheet(deep);
    ASSERT_TRUE(book.open) << book.open.detail();
    EXPECT_EQ(book.sheet.code(), EngineErrc::LimitExceeded);
}

TEST(XlsxDamage, PackagesThatAreNoWorkbookSayWhy)
{
    TempDir dir;
    std::unique_ptr<model::WorkbookReader> reader;
    EXPECT_EQ(xlsx::openXlsx(dir.file("missing.xlsx"), reader).code(), EngineErrc::FileNotFound);
    EXPECT_EQ(xlsx::openXlsx(dir.write("text.xlsx", "just text"), reader).code(), EngineErrc::NotAWorkbook);

    XlsxTestPackage noWorkbook;
    noWorkbook.part("_rels/.rels",
                    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"/>)");
    noWorkbook.part("xl/workbook.xml", "");
    Opened book = readFirstSheet(noWorkbook);
    EXPECT_FALSE(book.open);
    EXPECT_EQ(reader, nullptr);
}

TEST(XlsxDamage, HighlyCompressedPartsAreRefusedBeforeInflating)
{
    XlsxTestPackage bomb;
    bomb.compression(9);
    bomb.sheetData(R"(<row r="1"><c r="A1" t="inlineStr"><is><t>)" + std::string(16u << 20, 'a') +
                   "</t></is></c></row>");
    Opened book = readFirstSheet(bomb);
    ASSERT_TRUE(book.open) << book.open.detail();
    EXPECT_EQ(book.sheet.code(), EngineErrc::LimitExceeded);
    EXPECT_THAT(book.sheet.detail(), HasSubstr("compressed"));
}

namespace {

// Counts cells and checks what a writer relies on: header first, rows in order, every cell once.
class CheckingSink : public model::SheetSink
{
public:
    void beginSheet(const model::SheetHeader& header) override { merges = header.merges.size(); }
    void row(const model::RowInfo& row) override
    {
        inOrder = inOrder && (rows == 0 || row.row == lastRow + 1);
        lastRow = row.row;
        ++rows;
    }
    void cell(const model::Cell& cell) override
    {
        inOrder = inOrder && cell.row == lastRow;
        sum += cell.number;
        ++cells;
    }
    void endSheet(const model::SheetOptions&) override { ended = true; }

    std::size_t merges = 0, rows = 0, cells = 0;
    std::uint32_t lastRow = 0;
    double sum = 0;
    bool inOrder = true, ended = false;
};

} // namespace

TEST(XlsxStreaming, ASheetTooBigToKeepStreamsWithItsTailReadFirst)
{
    constexpr std::uint32_t kRows = 140000, kColumns = 8;
    std::string rows;
    rows.reserve(std::size_t(kRows) * kColumns * 60);
    for (std::uint32_t r = 1; r <= kRows; ++r)
    {
        std::string row = std::to_string(r);
        rows += "<row r=\"" + row + "\">";
        for (std::uint32_t c = 0; c < kColumns; ++c)
        {
            rows += "<c r=\"";
            rows += static_cast<char>('A' + c);
            rows += row + "\" s=\"0\"><f>ROW()*1</f><v>1</v></c>";
        }
        rows += "</row>";
    }
    ASSERT_GT(rows.size(), std::size_t(48) << 20); // beyond what is kept whole after the first pass
    XlsxTestPackage package;
    package.sheetData(rows, R"(<mergeCells count="1"><mergeCell ref="A1:B1"/></mergeCells>)");
    rows = {};
    TempDir dir;
    std::string path = dir.file("big.xlsx");
    ASSERT_TRUE(package.save(path));
    std::unique_ptr<model::WorkbookReader> reader;
    ASSERT_TRUE(xlsx::openXlsx(path, reader));
    CheckingSink sink;
    Status status = reader->readSheet(0, sink);
    ASSERT_TRUE(status) << status.detail();
    EXPECT_EQ(sink.merges, 1u);
    EXPECT_EQ(sink.rows, kRows);
    EXPECT_EQ(sink.cells, std::size_t(kRows) * kColumns);
    EXPECT_EQ(sink.sum, double(kRows) * kColumns);
    EXPECT_TRUE(sink.inOrder);
    EXPECT_TRUE(sink.ended);
}

TEST(XlsxCorpus, EveryCorpusWorkbookOpensAndStreams)
{
    VELQUIN_REQUIRE_CORPUS();
    for (const char* name : {"formula_stress_test.xlsx", "sheet_visibility_strict.xlsx", "number_format.xlsm",
                             "comments_stress_test.xlsx", "hyperlink_stress_test_2011.xlsx", "rich_text_stress.xlsx"})
    {
        std::unique_ptr<model::WorkbookReader> reader;
        Status open = xlsx::openXlsx(velquin::test::requiredCorpusFile(name), reader);
        ASSERT_TRUE(open) << name << ": " << open.detail();
        for (int i = 0; i < static_cast<int>(reader->info().sheets.size()); ++i)
        {
            RecordingSink sink;
            Status status = reader->readSheet(i, sink);
            EXPECT_TRUE(status) << name << " sheet " << i << ": " << status.detail();
        }
    }
}

TEST(XlsxSharedStrings, MemoryIsBoundedEvenForEmptyStrings)
{
    // Each string costs its offset even when it is empty, so a part of nothing but <si/> cannot grow the table
    // without limit; text and formatted runs count as well.
    std::string items;
    for (int i = 0; i < 300; ++i)
        items += i % 100 == 0 ? "<si><r><rPr><b/></rPr><t>bold</t></r></si>" : "<si/>";
    XlsxTestPackage package;
    package.part("xl/sharedStrings.xml",
                 "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" + items + "</sst>");
    TempDir dir;
    const std::string path = dir.file("book.xlsx");
    ASSERT_TRUE(package.save(path));
    xlsx::ZipPackage zip;
    ASSERT_TRUE(zip.open(path));
    xlsx::ColorResolver colors;

    xlsx::SharedStrings small;
    const Status refused = small.read(zip, "xl/sharedStrings.xml", colors, 1024);
    EXPECT_EQ(refused.code(), EngineErrc::LimitExceeded) << refused.detail();

    xlsx::SharedStrings enough;
    ASSERT_TRUE(enough.read(zip, "xl/sharedStrings.xml", colors, 64 * 1024));
    EXPECT_EQ(enough.size(), 300u);
    EXPECT_EQ(enough.text(100), "bold");
    EXPECT_EQ(enough.runs(100).size(), 1u);
    EXPECT_GT(enough.footprint(), 1024u);
    EXPECT_LT(enough.footprint(), 64u * 1024);
    // A part of a few hundred bytes gets the floor, never less.
    EXPECT_EQ(xlsx::SharedStrings::budgetFor(300), xlsx::SharedStrings::kMinBudget);
}
