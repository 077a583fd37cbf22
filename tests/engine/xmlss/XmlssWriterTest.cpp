// The SpreadsheetML 2003 writer driven by a fake reader: document structure, cells, styles and sheet options.
#include "engine/xmlss/ByteSink.h"
#include "engine/xmlss/WorkbookWriter.h"
#include "tests/support/FakeWorkbookReader.h"

#include <expat.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <regex>
#include <string>

namespace velquin::engine::xmlss {
namespace {

using model::Cell;
using model::CellType;
using test::FakeWorkbookReader;
using testing::ContainsRegex;
using testing::HasSubstr;
using testing::Not;

bool wellFormed(const std::string& xml)
{
    XML_Parser parser = XML_ParserCreateNS(nullptr, ' ');
    const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

std::string write(FakeWorkbookReader& reader)
{
    StringSink sink;
    const Status status = writeWorkbook(reader, sink);
    EXPECT_TRUE(status) << status.description();
    EXPECT_TRUE(wellFormed(sink.bytes())) << sink.bytes();
    return sink.bytes();
}

Cell number(std::uint32_t row, std::uint32_t col, double value, int style = -1)
{
    Cell cell;
    cell.row = row;
    cell.col = col;
    cell.type = CellType::Number;
    cell.number = value;
    cell.style = style;
    return cell;
}

Cell text(std::uint32_t row, std::uint32_t col, std::string_view value)
{
    Cell cell;
    cell.row = row;
    cell.col = col;
    cell.type = CellType::String;
    cell.text = value;
    return cell;
}

/// The value of attribute `name` in the Table start tag.
std::string tableAttribute(const std::string& xml, const std::string& name)
{
    std::smatch match;
    if (!std::regex_search(xml, match, std::regex("<Table[^>]*" + name + "=\"([0-9]+)\"")))
        return {};
    return match[1];
}

TEST(XmlssWriter, WritesTheDocumentFrameInExcelsOrder)
{
    FakeWorkbookReader reader;
    reader.workbook.properties.author = "Ann & Bob";
    reader.workbook.properties.custom.push_back({"Project No", model::CustomProperty::Type::Number, "42"});
    reader.workbook.names.push_back({"Total", "=Sheet1!R1C1:R2C2", -1, false});
    reader.workbook.names.push_back({"Print_Area", "=Sheet1!R1C1:R9C9", 0, false});
    reader.addSheet("Sheet1",
                    [](model::SheetSink& sink) { return test::feedCells(sink, test::sheetHeader(0, "Sheet1"), {}); });
    const std::string xml = write(reader);

    EXPECT_EQ(xml.rfind("<?xml version=\"1.0\"?>\n<?mso-application progid=\"Excel.Sheet\"?>\n<Workbook", 0), 0u);
    EXPECT_THAT(xml, HasSubstr("<Author>Ann &amp; Bob</Author>"));
    EXPECT_THAT(xml, HasSubstr("<Project_x0020_No dt:dt=\"float\">42</Project_x0020_No>"));
    EXPECT_THAT(xml, HasSubstr("<Style ss:ID=\"Default\" ss:Name=\"Normal\">"));
    const std::size_t workbookName = xml.find("<NamedRange ss:Name=\"Total\"");
    const std::size_t worksheet = xml.find("<Worksheet ss:Name=\"Sheet1\">");
    const std::size_t sheetName = xml.find("<NamedRange ss:Name=\"Print_Area\"");
    ASSERT_NE(workbookName, std::string::npos);
    EXPECT_LT(xml.find("</Styles>"), workbookName);
    EXPECT_LT(workbookName, worksheet);
    EXPECT_LT(worksheet, sheetName);
    EXPECT_LT(sheetName, xml.find("<Table"));
}

TEST(XmlssWriter, CustomPropertyNamesAlwaysMakeWellFormedElements)
{
    // Letters beyond ASCII stay; a name the parser would refuse (a typographic quote, a control character, a
    // leading digit, a character beyond the Basic Multilingual Plane) is written with _xHHHH_ escapes instead.
    FakeWorkbookReader reader;
    using Type = model::CustomProperty::Type;
    reader.workbook.properties.custom = {{"Gr\xC3\xB6\xC3\x9F"
                                          "e",
                                          Type::String, "a"},
                                         {"It\xE2\x80\x99s\x08", Type::String, "b"},
                                         {"2nd", Type::String, "c"},
                                         {"Mood\xF0\x9F\x98\x80", Type::String, "d"},
                                         {"", Type::String, "e"}};
    reader.addSheet("S", [](model::SheetSink& sink) { return test::feedCells(sink, test::sheetHeader(0, "S"), {}); });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Gr\xC3\xB6\xC3\x9F"
                               "e dt:dt=\"string\">a</Gr\xC3\xB6\xC3\x9F"
                               "e>"));
    EXPECT_THAT(xml, HasSubstr("<It_x2019_s_x0008_ dt:dt=\"string\">b</It_x2019_s_x0008_>"));
    EXPECT_THAT(xml, HasSubstr("<_x0032_nd dt:dt=\"string\">c</_x0032_nd>"));
    EXPECT_THAT(xml, HasSubstr("<Mood_xD83D__xDE00_ dt:dt=\"string\">d</Mood_xD83D__xDE00_>"));
    EXPECT_THAT(xml, HasSubstr("<_ dt:dt=\"string\">e</_>"));
}

TEST(XmlssWriter, LeavesOutChartSheetsAndCountsActiveSheetAmongWorksheets)
{
    FakeWorkbookReader reader;
    reader.workbook.sheets.push_back({"Chart1", model::SheetKind::Chart, model::Visibility::Visible});
    reader.feeders.emplace_back();
    reader.addSheet("Data",
                    [](model::SheetSink& sink) { return test::feedCells(sink, test::sheetHeader(1, "Data"), {}); });
    reader.addSheet("More",
                    [](model::SheetSink& sink) { return test::feedCells(sink, test::sheetHeader(2, "More"), {}); });
    reader.workbook.activeSheet = 2;
    const std::string xml = write(reader);
    EXPECT_THAT(xml, Not(HasSubstr("Chart1")));
    EXPECT_THAT(xml, HasSubstr("<ActiveSheet>1</ActiveSheet>"));
}

TEST(XmlssWriter, IndexesOnlyGapsAndCountsTheExtentIncludingMerges)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        model::SheetHeader header = test::sheetHeader(0, "S");
        header.merges.push_back({4, 2, 6, 5}); // C5:F7
        sink.beginSheet(header);
        sink.cell(number(0, 0, 1));
        sink.cell(number(0, 1, 2));
        sink.cell(number(0, 3, 3));
        sink.cell(number(4, 2, 4));
        sink.cell(number(4, 3, 99)); // covered by the merge: Excel keeps only the anchor
        sink.cell(number(5, 6, 5));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Row>\n    <Cell><Data ss:Type=\"Number\">1</Data></Cell>\n"
                               "    <Cell><Data ss:Type=\"Number\">2</Data></Cell>\n"
                               "    <Cell ss:Index=\"4\"><Data ss:Type=\"Number\">3</Data></Cell>"));
    EXPECT_THAT(xml, ContainsRegex("<Row ss:Index=\"5\">\n    <Cell ss:Index=\"3\" ss:MergeAcross=\"3\" "
                                   "ss:MergeDown=\"2\" *>"));
    EXPECT_THAT(xml, Not(HasSubstr(">99<")));
    EXPECT_THAT(xml, HasSubstr("<Row>\n    <Cell ss:Index=\"7\">"));
    EXPECT_EQ(tableAttribute(xml, "ss:ExpandedColumnCount"), "7");
    EXPECT_EQ(tableAttribute(xml, "ss:ExpandedRowCount"), "7");
}

TEST(XmlssWriter, PatchesCountsAfterTheTableStartWasFlushedToTheSink)
{
    FakeWorkbookReader reader;
    reader.addSheet("Big", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "Big"));
        for (std::uint32_t row = 0; row < 120000; ++row)
        {
            sink.cell(number(row, 0, row));
            sink.cell(number(row, 11, 0.5));
        }
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_GT(xml.size(), std::size_t{2} << 20); // larger than the output buffer
    EXPECT_EQ(tableAttribute(xml, "ss:ExpandedColumnCount"), "12");
    EXPECT_EQ(tableAttribute(xml, "ss:ExpandedRowCount"), "120000");
}

TEST(XmlssWriter, WritesCellsAndRowsAReaderNeverSendsForCommentsAndMergeAnchors)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        model::SheetHeader header = test::sheetHeader(0, "S");
        header.comments.push_back({2, 1, "Ann", {{"note <1>", false, {}}}, true});
        header.comments.push_back({5, 1, "", {{"n", false, {}}}, false});
        header.merges.push_back({3, 0, 3, 1});
        model::Hyperlink targetless;
        targetless.firstRow = targetless.lastRow = 5;
        header.hyperlinks.push_back(targetless);
        sink.beginSheet(header);
        sink.cell(number(0, 0, 1));
        sink.cell(number(5, 0, 2));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Row ss:Index=\"3\">\n    <Cell ss:Index=\"2\"><Comment ss:Author=\"Ann\" "
                               "ss:ShowAlways=\"1\"><ss:Data xmlns=\"http://www.w3.org/TR/REC-html40\">note "
                               "&lt;1&gt;</ss:Data></Comment></Cell>"));
    EXPECT_THAT(xml, ContainsRegex("<Row>\n    <Cell ss:MergeAcross=\"1\" */>"));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:HRef=\"\"><Data ss:Type=\"Number\">2</Data></Cell>\n    <Cell><Comment "
                               "ss:Author=\"\"><ss:Data"));
}

TEST(XmlssWriter, MarksTheCellsOfNamedAreasWithTheirNames)
{
    FakeWorkbookReader reader;
    model::NamedStyle normal{"Normal", {}, 0};
    reader.workbook.namedStyles.push_back(normal);
    reader.workbook.cellStyles.assign(2, normal.style);
    reader.workbook.cellStyles[1].font.bold = true;
    reader.addSheet("My 'Data'", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "My 'Data'"));
        sink.cell(number(0, 0, 1));
        sink.cell(number(1, 1, 2));
        Cell styledBlank = number(1, 2, 0, 1);
        styledBlank.type = CellType::Blank;
        sink.cell(styledBlank);
        sink.cell(number(4, 0, 3));
        sink.endSheet({});
        return Status{};
    });
    reader.addSheet("Other", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(1, "Other"));
        sink.cell(number(0, 0, 4));
        sink.endSheet({});
        return Status{};
    });
    // A workbook name over two areas, a whole column, a local name of the other sheet (not for these cells), a
    // formula and a relative reference (no cells at all).
    reader.workbook.names = {{"Both", "='My ''Data'''!R1C1,'My ''Data'''!R2C2:R2C3", -1, false},
                             {"ColA", "='My ''Data'''!C1", -1, false},
                             {"Elsewhere", "='My ''Data'''!R1C1", 1, false},
                             {"Total", "=SUM('My ''Data'''!R1C1:R2C2)", -1, false},
                             {"Here", "='My ''Data'''!R[1]C", -1, false}};
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"Number\">1</Data><NamedCell ss:Name=\"Both\"/>"
                               "<NamedCell ss:Name=\"ColA\"/></Cell>"));
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"Number\">2</Data><NamedCell ss:Name=\"Both\"/></Cell>"));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:StyleID=\"s1\"><NamedCell ss:Name=\"Both\"/></Cell>"));
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"Number\">3</Data><NamedCell ss:Name=\"ColA\"/></Cell>"));
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"Number\">4</Data></Cell>"));
    EXPECT_THAT(xml, Not(HasSubstr("<NamedCell ss:Name=\"Elsewhere\"")));
    EXPECT_THAT(xml, Not(HasSubstr("<NamedCell ss:Name=\"Total\"")));
    EXPECT_THAT(xml, Not(HasSubstr("<NamedCell ss:Name=\"Here\"")));
}

TEST(XmlssWriter, WritesRowsAndHeightsOnlyWhereTheyDifferFromTheDefault)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        model::SheetHeader header = test::sheetHeader(0, "S");
        header.defaultRowHeight = 15;
        sink.beginSheet(header);
        sink.row({0, 15, false, false, -1}); // default height, with a cell
        sink.cell(number(0, 0, 1));
        sink.row({1, 15, false, false, -1}); // default height, empty: left out
        sink.row({2, 15, true, false, -1});  // fixed at the default height
        sink.row({3, 30, false, false, -1}); // taller, empty
        sink.row({4, 15, false, true, -1});  // hidden
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Row>\n    <Cell><Data ss:Type=\"Number\">1</Data></Cell>\n   </Row>\n"
                               "   <Row ss:Index=\"3\" ss:AutoFitHeight=\"0\"/>\n"
                               "   <Row ss:Height=\"30\"/>\n"
                               "   <Row ss:Hidden=\"1\"/>\n  </Table>"));
}

TEST(XmlssWriter, DropsCellsOutOfOrderOrBeyondTheSheet)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        sink.cell(number(3, 3, 1));
        sink.cell(number(3, 2, 2));                      // backwards in the row
        sink.cell(number(1, 5, 3));                      // backwards in the sheet
        sink.cell(number(model::kMaxRows, 0, 4));        // beyond the last row
        sink.cell(number(4, model::kMaxColumns + 1, 5)); // beyond the last column
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr(">1<"));
    for (const char* dropped : {">2<", ">3<", ">4<", ">5<"})
        EXPECT_THAT(xml, Not(HasSubstr(dropped)));
}

TEST(XmlssWriter, WritesEachDataType)
{
    FakeWorkbookReader reader;
    reader.workbook.cellStyles.resize(2);
    reader.workbook.cellStyles[1].numberFormat = "yyyy-mm-dd hh:mm";
    reader.workbook.cellStyles[1].numberFormatId = -1;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        sink.cell(number(0, 0, 0.1 + 0.2));
        sink.cell(number(0, 1, 45000.5, 1));
        Cell boolean = number(0, 2, 0);
        boolean.type = CellType::Boolean;
        boolean.boolean = true;
        sink.cell(boolean);
        Cell error = text(0, 3, "#DIV/0!");
        error.type = CellType::Error;
        error.formula = "=1/0";
        sink.cell(error);
        Cell formula = text(0, 4, "a\"b");
        formula.formula = "=\"a\"&\"\"\"b\"";
        sink.cell(formula);
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"Number\">0.30000000000000004</Data>"));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:StyleID=\"s1\"><Data ss:Type=\"DateTime\">2023-03-15T12:00:00.000</Data>"));
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"Boolean\">1</Data>"));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:Formula=\"=1/0\"><Data ss:Type=\"Error\">#DIV/0!</Data>"));
    EXPECT_THAT(xml, HasSubstr("ss:Formula=\"=&quot;a&quot;&amp;&quot;&quot;&quot;b&quot;\"><Data "
                               "ss:Type=\"String\">a\"b</Data>"));
}

TEST(XmlssWriter, WritesRichTextAsHtmlMarkup)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        std::vector<model::TextRun> runs(2);
        runs[0].text = "Bold";
        runs[0].hasFont = true;
        runs[0].font.bold = true;
        runs[1].text = " red";
        runs[1].hasFont = true;
        runs[1].font.hasColor = true;
        runs[1].font.r = 0xFF;
        Cell cell = text(0, 0, "Bold red");
        cell.runs = runs;
        sink.cell(cell);
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<ss:Data ss:Type=\"String\" xmlns=\"http://www.w3.org/TR/REC-html40\"><B>Bold</B>"
                               "<Font html:Color=\"#FF0000\"> red</Font></ss:Data>"));
}

TEST(XmlssWriter, WritesStylesThatDifferFromNormalWithWholeGroups)
{
    FakeWorkbookReader reader;
    model::NamedStyle normal{"Normal", {}, 0};
    normal.style.font.name = "Calibri";
    normal.style.font.size = 11;
    reader.workbook.namedStyles.push_back(normal);
    reader.workbook.cellStyles.assign(4, normal.style);
    reader.workbook.cellStyles[1].font.bold = true;
    reader.workbook.cellStyles[2].numberFormat = "0.00%";
    reader.workbook.cellStyles[2].numberFormatId = 10;
    reader.workbook.cellStyles[3].borders.top = {model::LineStyle::Double, 3, model::Rgb{0, 0, 255}};
    reader.workbook.cellStyles[3].borders.left = {model::LineStyle::Continuous, 1, std::nullopt, true};
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        sink.cell(number(0, 0, 1, 0));
        sink.cell(number(0, 1, 1, 1));
        sink.cell(number(0, 2, 1, 2));
        sink.cell(number(0, 3, 1, 3));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, Not(HasSubstr("ss:ID=\"s0\"")));
    EXPECT_THAT(xml, HasSubstr("<Cell><Data ss:Type=\"Number\">1</Data>"));
    EXPECT_THAT(
        xml,
        HasSubstr("<Style ss:ID=\"s1\">\n   <Font ss:FontName=\"Calibri\" ss:Size=\"11\" ss:Bold=\"1\"/>\n  </Style>"));
    EXPECT_THAT(xml, HasSubstr("<Style ss:ID=\"s2\">\n   <NumberFormat ss:Format=\"Percent\"/>\n  </Style>"));
    EXPECT_THAT(
        xml, HasSubstr("<Border ss:Position=\"Top\" ss:LineStyle=\"Double\" ss:Weight=\"3\" ss:Color=\"#0000FF\"/>"));
    EXPECT_THAT(
        xml, HasSubstr(
                 "<Border ss:Position=\"Left\" ss:LineStyle=\"Continuous\" ss:Weight=\"1\" ss:Color=\"Background\"/>"));
}

TEST(XmlssWriter, GivesMergedAnchorsTheRightAndBottomBordersOfTheAreasEdges)
{
    // B2:C4 takes its right border from C2 (top-right) and its bottom border from B4 (bottom-left); the bottom
    // border of C4 and the right border of C3 are not read. E6:F6 takes F6's right border; H8:I8 has none on its
    // edge, so its anchor keeps s1.
    FakeWorkbookReader reader;
    reader.workbook.cellStyles.resize(5);
    const model::BorderEdge thick{model::LineStyle::Continuous, 2, std::nullopt, false};
    reader.workbook.cellStyles[1].borders.left = thick;
    reader.workbook.cellStyles[1].borders.top = thick;
    reader.workbook.cellStyles[2].borders.right = {model::LineStyle::Dash, 1, std::nullopt, false};
    reader.workbook.cellStyles[3].borders.bottom = thick;
    reader.workbook.cellStyles[4].font.bold = true;
    reader.workbook.cellStyles[4].borders.bottom = {model::LineStyle::Double, 3, std::nullopt, false};
    reader.workbook.cellStyles[4].borders.right = reader.workbook.cellStyles[4].borders.bottom;
    reader.addSheet("S", [](model::SheetSink& sink) {
        model::SheetHeader header = test::sheetHeader(0, "S");
        header.merges.push_back({1, 1, 3, 2});
        header.merges.push_back({5, 4, 5, 5});
        header.merges.push_back({7, 7, 7, 8});
        sink.beginSheet(header);
        sink.cell(number(1, 1, 1, 1));
        sink.cell(number(1, 2, 0, 2));
        sink.cell(number(2, 2, 0, 4));
        sink.cell(number(3, 1, 0, 3));
        sink.cell(number(3, 2, 0, 4));
        sink.cell(number(5, 4, 2, 1));
        sink.cell(number(5, 5, 0, 4));
        sink.cell(number(7, 7, 3, 1));
        sink.cell(number(7, 8, 0, 3));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, ContainsRegex("<Cell ss:Index=\"2\" ss:MergeAcross=\"1\" ss:MergeDown=\"2\" "
                                   "ss:StyleID=\"m0\" *><Data ss:Type=\"Number\">1<"));
    EXPECT_THAT(xml, HasSubstr("<Style ss:ID=\"m0\">\n   <Borders>\n"
                               "    <Border ss:Position=\"Bottom\" ss:LineStyle=\"Continuous\" ss:Weight=\"2\"/>\n"
                               "    <Border ss:Position=\"Left\" ss:LineStyle=\"Continuous\" ss:Weight=\"2\"/>\n"
                               "    <Border ss:Position=\"Right\" ss:LineStyle=\"Dash\" ss:Weight=\"1\"/>\n"
                               "    <Border ss:Position=\"Top\" ss:LineStyle=\"Continuous\" ss:Weight=\"2\"/>\n"
                               "   </Borders>\n  </Style>"));
    EXPECT_THAT(xml, ContainsRegex("<Cell ss:Index=\"5\" ss:MergeAcross=\"1\" ss:StyleID=\"m1\" *>"));
    EXPECT_THAT(xml, HasSubstr("<Border ss:Position=\"Right\" ss:LineStyle=\"Double\" ss:Weight=\"3\"/>\n"
                               "    <Border ss:Position=\"Top\" ss:LineStyle=\"Continuous\""));
    EXPECT_THAT(xml, ContainsRegex("<Cell ss:Index=\"8\" ss:MergeAcross=\"1\" ss:StyleID=\"s1\" *>"));
    EXPECT_THAT(xml, Not(HasSubstr("ss:ID=\"m2\"")));
}

TEST(XmlssWriter, WritesConditionalRangesWithoutWritableRulesOnce)
{
    // Rules of one range may come in several groups: a group with no writable rule adds nothing to a range that
    // has one, and a range with none is written once, without conditions.
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        model::SheetOptions options;
        options.conditionalFormats = {
            {"R7C1", {}}, {"R1C1:R5C1", {{"Greater", "5", "", "color:red"}}}, {"R1C1:R5C1", {}}, {"R7C1", {}}};
        sink.endSheet(options);
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<ConditionalFormatting xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
                               "   <Range>R7C1</Range>\n  </ConditionalFormatting>\n"
                               "  <ConditionalFormatting xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
                               "   <Range>R1C1:R5C1</Range>\n   <Condition>"));
    std::size_t count = 0;
    for (std::size_t at = xml.find("<ConditionalFormatting"); at != std::string::npos;
         at = xml.find("<ConditionalFormatting", at + 1))
        ++count;
    EXPECT_EQ(count, 2u);
}

TEST(XmlssWriter, WritesOnlyTheStylesThatCellsRowsAndColumnsUse)
{
    FakeWorkbookReader reader;
    reader.workbook.cellStyles.resize(6);
    for (int i = 1; i < 5; ++i)
        reader.workbook.cellStyles[static_cast<std::size_t>(i)].font.size = 10 + i;
    reader.workbook.cellStyles[5] = reader.workbook.cellStyles[1]; // alike in everything: one Style
    reader.addSheet("S", [](model::SheetSink& sink) {
        model::SheetHeader header = test::sheetHeader(0, "S");
        header.columns.push_back({0, 0, -1, false, 3, false});
        sink.beginSheet(header);
        sink.row({1, -1, false, false, 2});
        sink.cell(number(1, 1, 1, 1));
        sink.cell(number(1, 2, 2, 5));
        sink.endSheet({});
        return Status{};
    });
    reader.addSheet("T", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(1, "T"));
        sink.cell(number(0, 0, 1, 0));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    const std::string styles = xml.substr(xml.find("<Styles>"), xml.find("</Styles>") - xml.find("<Styles>"));
    EXPECT_THAT(styles, HasSubstr("<Style ss:ID=\"s1\">\n   <Font ss:FontName=\"Arial\" ss:Size=\"11\"/>"));
    EXPECT_THAT(styles, HasSubstr("<Style ss:ID=\"s2\">"));
    EXPECT_THAT(styles, HasSubstr("<Style ss:ID=\"s3\">"));
    EXPECT_THAT(styles, Not(HasSubstr("<Style ss:ID=\"s4\">")));
    EXPECT_THAT(styles, Not(HasSubstr("<Style ss:ID=\"s5\">")));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:StyleID=\"s1\"><Data ss:Type=\"Number\">2</Data>"));
    EXPECT_LT(xml.find("</Styles>"), xml.find("<Worksheet"));
}

TEST(XmlssWriter, SpellsOutGeneralAfterAFormattedStyleAndLockingUnderAnUnlockedDefault)
{
    FakeWorkbookReader reader;
    model::NamedStyle normal{"Normal", {}, 0};
    normal.style.protection.locked = false;
    reader.workbook.namedStyles.push_back(normal);
    reader.workbook.cellStyles.assign(4, normal.style);
    reader.workbook.cellStyles[1].font.bold = true;
    reader.workbook.cellStyles[2].numberFormat = "0.00%";
    reader.workbook.cellStyles[3].protection.locked = true;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        for (std::uint32_t col = 1; col < 4; ++col)
            sink.cell(number(0, col, 1, static_cast<int>(col)));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"
                               "  <Style ss:ID=\"s1\">\n   <Font ss:FontName=\"Arial\" ss:Size=\"10\" ss:Bold=\"1\"/>\n"
                               "  </Style>\n  <Style ss:ID=\"s2\">\n   <NumberFormat ss:Format=\"Percent\"/>\n"
                               "  </Style>\n  <Style ss:ID=\"s3\">\n   <NumberFormat ss:Format=\"General\"/>\n"
                               "   <Protection/>\n  </Style>\n </Styles>"));
}

TEST(XmlssWriter, WritesNumbersInAFormatExcelRefusesAsGeneralNumbers)
{
    FakeWorkbookReader reader;
    reader.workbook.cellStyles.resize(2);
    reader.workbook.cellStyles[1].numberFormat = "hh[mm]";
    reader.workbook.cellStyles[1].font.bold = true;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        sink.cell(number(0, 0, 1, 1));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Style ss:ID=\"s1\">\n   <Font ss:FontName=\"Arial\" ss:Size=\"10\" ss:Bold=\"1\"/>\n"
                               "  </Style>"));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:StyleID=\"s1\"><Data ss:Type=\"Number\">1</Data>"));
}

TEST(XmlssWriter, WritesTheNamedStylesThatUsedStylesInheritFrom)
{
    FakeWorkbookReader reader;
    reader.workbook.namedStyles.push_back({"Normal", {}, 0});
    model::NamedStyle percent{"Percent", {}, 5};
    percent.style.numberFormat = "0%";
    reader.workbook.namedStyles.push_back(percent);
    reader.workbook.namedStyles.push_back({"Unused", percent.style, -1});
    reader.workbook.cellStyles.assign(3, model::CellStyle{});
    reader.workbook.cellStyles[1] = percent.style;
    reader.workbook.cellStyles[1].parentStyle = 1;
    reader.workbook.cellStyles[1].font.italic = true;
    reader.workbook.cellStyles[2].parentStyle = 1;
    reader.workbook.cellStyles[2].font.italic = true;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        sink.cell(number(0, 0, 1, 1));
        sink.cell(number(0, 1, 1, 2));
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(
        xml, HasSubstr("  </Style>\n  <Style ss:ID=\"s4\" ss:Name=\"Percent\">\n   <NumberFormat ss:Format=\"0%\"/>\n"
                       "  </Style>\n  <Style ss:ID=\"s1\" ss:Parent=\"s4\">\n"
                       "   <Font ss:FontName=\"Arial\" ss:Size=\"10\" ss:Italic=\"1\"/>\n"
                       "   <NumberFormat ss:Format=\"0%\"/>\n  </Style>\n"
                       "  <Style ss:ID=\"s2\" ss:Parent=\"s4\">\n"
                       "   <Font ss:FontName=\"Arial\" ss:Size=\"10\" ss:Italic=\"1\"/>\n"
                       "   <NumberFormat ss:Format=\"General\"/>\n  </Style>\n </Styles>"));
    EXPECT_THAT(xml, Not(HasSubstr("Unused")));
}

TEST(XmlssWriter, GivesDefaultCellsInAFormattedRowOrColumnTheDefaultStyle)
{
    FakeWorkbookReader reader;
    reader.workbook.cellStyles.resize(2);
    reader.workbook.cellStyles[1].interior.color = model::Rgb{255, 0, 0};
    reader.workbook.cellStyles[1].interior.pattern = model::Pattern::Solid;
    reader.addSheet("S", [](model::SheetSink& sink) {
        model::SheetHeader header = test::sheetHeader(0, "S");
        header.columns.push_back({2, 3, -1, false, 1, false});
        sink.beginSheet(header);
        sink.cell(number(0, 0, 1)); // plain
        sink.cell(number(0, 3, 2)); // in the formatted column D
        sink.row({1, -1, false, false, 1});
        sink.cell(number(1, 0, 3)); // in the formatted row 2
        sink.endSheet({});
        return Status{};
    });
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Column ss:Index=\"3\" ss:StyleID=\"s1\" ss:Span=\"1\"/>"));
    EXPECT_THAT(xml, HasSubstr("<Cell><Data ss:Type=\"Number\">1</Data>"));
    EXPECT_THAT(xml, HasSubstr("<Cell ss:Index=\"4\" ss:StyleID=\"Default\"><Data ss:Type=\"Number\">2</Data>"));
    EXPECT_THAT(xml,
                HasSubstr("<Row ss:StyleID=\"s1\">\n    <Cell ss:StyleID=\"Default\"><Data ss:Type=\"Number\">3<"));
}

TEST(XmlssWriter, WritesSheetOptions)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        model::SheetOptions options;
        options.selected = true;
        options.paneKind = model::PaneKind::Frozen;
        options.splitRows = 1;
        options.topRowBottomPane = 1;
        options.activePane = 2;
        options.selections.push_back({2, 4, 1, "R5C2:R6C3"});
        options.autoFilterR1C1 = "R1C1:R10C3";
        options.protectContents = true;
        model::DataValidation fromCells; // a list drawn from cells, its drop-down hidden
        fromCells.rangeR1C1 = "R1C1";
        fromCells.type = "List";
        fromCells.value = "R2C5:R4C5";
        fromCells.suppressDropDown = true;
        model::DataValidation literal = fromCells; // a literal list with its drop-down
        literal.value = "\"a,b\"";
        literal.suppressDropDown = false;
        options.validations = {fromCells, literal};
        sink.endSheet(options);
        return Status{};
    });
    reader.workbook.sheets[0].visibility = model::Visibility::Hidden;
    const std::string xml = write(reader);
    EXPECT_THAT(xml, HasSubstr("<Selected/>\n   <Visible>SheetHidden</Visible>\n"));
    EXPECT_THAT(xml, HasSubstr("<FreezePanes/>\n   <FrozenNoSplit/>\n   <SplitHorizontal>1</SplitHorizontal>\n"
                               "   <TopRowBottomPane>1</TopRowBottomPane>\n   <ActivePane>2</ActivePane>\n"));
    EXPECT_THAT(xml, HasSubstr("<Number>2</Number>\n     <ActiveRow>4</ActiveRow>\n     <ActiveCol>1</ActiveCol>\n"
                               "     <RangeSelection>R5C2:R6C3</RangeSelection>"));
    EXPECT_THAT(xml, HasSubstr("<ProtectContents>True</ProtectContents>"));
    EXPECT_THAT(xml, HasSubstr("<AutoFilter x:Range=\"R1C1:R10C3\""));
    EXPECT_THAT(xml, HasSubstr("<Type>List</Type>\n   <CellRangeList/>\n   <ComboHide/>\n   <Value>R2C5:R4C5</Value>"));
    EXPECT_THAT(xml, HasSubstr("<Type>List</Type>\n   <Value>\"a,b\"</Value>"));
}

TEST(XmlssWriter, ReportsAReaderThatStopsInsideASheet)
{
    FakeWorkbookReader reader;
    reader.addSheet("S", [](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "S"));
        sink.cell(number(0, 0, 1));
        return Status{EngineErrc::DamagedFile, "record at offset 12 is truncated"};
    });
    StringSink sink;
    const Status status = writeWorkbook(reader, sink);
    EXPECT_EQ(status.code(), EngineErrc::DamagedFile);
    EXPECT_THAT(status.description(), HasSubstr("offset 12"));
}

} // namespace
} // namespace velquin::engine::xmlss
