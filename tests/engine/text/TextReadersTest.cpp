// Files that are not workbooks: delimited text typed as Excel's import types it, character sets, XML Spreadsheets
// read into the model and written again, and web pages with spans, links and Excel's x: attributes.
#include "engine/Engine.h"
#include "engine/text/DelimitedTextReader.h"
#include "engine/text/TextDecoding.h"
#include "engine/text/TextReader.h"
#include "engine/text/TypedValue.h"
#include "engine/xmlss/ByteSink.h"
#include "engine/xmlss/WorkbookWriter.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>

namespace velquin::engine::text {
namespace {

using model::CellType;
using testing::HasSubstr;
using testing::Not;

struct SeenCell
{
    CellType type = CellType::Blank;
    double number = 0;
    bool boolean = false;
    std::string text, formula;
    int style = -1;
};

class RecordingSink : public model::SheetSink
{
public:
    model::SheetHeader header;
    std::map<std::pair<std::uint32_t, std::uint32_t>, SeenCell> cells;
    std::map<std::uint32_t, model::RowInfo> rows;

    void beginSheet(const model::SheetHeader& h) override { header = h; }
    void row(const model::RowInfo& r) override { rows[r.row] = r; }
    void cell(const model::Cell& c) override
    {
        cells[{c.row, c.col}] = {c.type, c.number, c.boolean, std::string(c.text), std::string(c.formula), c.style};
    }
    void endSheet(const model::SheetOptions&) override {}

    const SeenCell& at(std::uint32_t row, std::uint32_t col) const
    {
        static const SeenCell none;
        const auto found = cells.find({row, col});
        return found == cells.end() ? none : found->second;
    }
};

struct Opened
{
    std::unique_ptr<model::WorkbookReader> reader;
    RecordingSink sheet;
    std::string numberFormat(const SeenCell& cell) const
    {
        return cell.style < 0 ? "General" : reader->info().cellStyles[static_cast<std::size_t>(cell.style)].numberFormat;
    }
};

Opened open(std::string_view bytes, std::string_view name = "data")
{
    Opened opened;
    const Status status = openTextBytes(bytes, name, opened.reader);
    EXPECT_TRUE(status) << status.description();
    if (opened.reader)
    {
        EXPECT_TRUE(opened.reader->readSheet(0, opened.sheet));
    }
    return opened;
}

std::string converted(std::string_view bytes)
{
    std::unique_ptr<model::WorkbookReader> reader;
    const Status opened = openTextBytes(bytes, "data", reader);
    EXPECT_TRUE(opened) << opened.description();
    if (!reader)
        return {};
    xmlss::StringSink sink;
    EXPECT_TRUE(xmlss::writeWorkbook(*reader, sink));
    return sink.bytes();
}

TEST(DelimitedText, SplitsAtTabsWhenThereAreAnyElseAtCommas)
{
    const Opened tabs = open("a,b\tc\n");
    EXPECT_EQ(tabs.sheet.at(0, 0).text, "a,b");
    EXPECT_EQ(tabs.sheet.at(0, 1).text, "c");
    const Opened commas = open("a,b;c\r\nd");
    EXPECT_EQ(commas.sheet.at(0, 1).text, "b;c");
    EXPECT_EQ(commas.sheet.at(1, 0).text, "d");
    EXPECT_EQ(commas.reader->info().sheets.front().name, "data");
}

TEST(DelimitedText, QuotedFieldsHoldSeparatorsLineBreaksAndDoubledQuotes)
{
    const Opened opened = open("\"x,\r\ny\",\"say \"\"hi\"\"\",\"\"\nnext,\"007\"");
    EXPECT_EQ(opened.sheet.at(0, 0).text, "x,\r\ny");
    EXPECT_EQ(opened.sheet.at(0, 1).text, "say \"hi\"");
    EXPECT_EQ(opened.sheet.cells.count({0, 2}), 0u);
    EXPECT_EQ(opened.sheet.at(1, 0).text, "next");
    // Quotes do not keep a number from being a number.
    EXPECT_EQ(opened.sheet.at(1, 1).type, CellType::Number);
    EXPECT_EQ(opened.sheet.at(1, 1).number, 7);
}

TEST(DelimitedText, TypesNumbersAsExcelDoesAndDropsLeadingZeros)
{
    const Opened opened = open("007\t-1,234.50\t12%\t($5)\t1e3\t1,23\tTRUE\t#N/A\t 42 \t1.2.3\t+3\n");
    const RecordingSink& s = opened.sheet;
    EXPECT_EQ(s.at(0, 0).number, 7);
    EXPECT_EQ(opened.numberFormat(s.at(0, 0)), "General");
    EXPECT_EQ(s.at(0, 1).number, -1234.5);
    EXPECT_EQ(opened.numberFormat(s.at(0, 1)), "#,##0.00");
    EXPECT_DOUBLE_EQ(s.at(0, 2).number, 0.12);
    EXPECT_EQ(opened.numberFormat(s.at(0, 2)), "0%");
    EXPECT_EQ(s.at(0, 3).number, -5);
    EXPECT_EQ(s.at(0, 4).number, 1000);
    EXPECT_EQ(opened.numberFormat(s.at(0, 4)), "0.00E+00");
    EXPECT_EQ(s.at(0, 5).type, CellType::String); // not a thousands group
    EXPECT_EQ(s.at(0, 6).type, CellType::Boolean);
    EXPECT_TRUE(s.at(0, 6).boolean);
    EXPECT_EQ(s.at(0, 7).type, CellType::Error);
    EXPECT_EQ(s.at(0, 7).text, "#N/A");
    EXPECT_EQ(s.at(0, 8).number, 42);
    EXPECT_EQ(s.at(0, 9).type, CellType::String);
    EXPECT_EQ(s.at(0, 10).number, 3);
}

TEST(DelimitedText, DatesFollowTheMachinesOrderOfDayAndMonth)
{
    EXPECT_EQ(typeValue("1/2/2020", DateOrder::MonthDayYear).number, 43832);
    EXPECT_EQ(typeValue("1/2/2020", DateOrder::DayMonthYear).number, 43862);
    EXPECT_EQ(typeValue("2020-01-02", DateOrder::DayMonthYear).number, 43832);
    EXPECT_EQ(typeValue("1/2/20", DateOrder::MonthDayYear).number, 43832);
    EXPECT_EQ(typeValue("1/2/2020", DateOrder::MonthDayYear).formatId, 14);
    const TypedValue withTime = typeValue("3/4/2020 6:00 PM", DateOrder::MonthDayYear);
    EXPECT_DOUBLE_EQ(withTime.number, 43894.75);
    EXPECT_EQ(withTime.formatId, 22);
    EXPECT_DOUBLE_EQ(typeValue("10:30", DateOrder::MonthDayYear).number, 10.5 / 24);
    EXPECT_EQ(typeValue("2/30/2020", DateOrder::MonthDayYear).type, CellType::String);
    EXPECT_EQ(typeValue("13/1/2020", DateOrder::MonthDayYear).type, CellType::String);
    EXPECT_EQ(typeValue("1/2-2020", DateOrder::MonthDayYear).type, CellType::String);
    // Excel's day 60 is a 29 February 1900 that never was.
    EXPECT_EQ(serialFromDate(1900, 2, 28), 59);
    EXPECT_EQ(serialFromDate(1900, 3, 1), 61);
    EXPECT_LT(serialFromDate(1899, 12, 31), 0);
}

TEST(TextCharacterSets, ByteOrderMarkThenDeclarationThenUtf8ThenCodePage)
{
    EXPECT_EQ(open("\xEF\xBB\xBF" "caf\xC3\xA9").sheet.at(0, 0).text, "caf\xC3\xA9");
    EXPECT_EQ(open(std::string("\xFF\xFE" "a\0\t\0" "1\0", 8)).sheet.at(0, 0).text, "a");
    EXPECT_EQ(open(std::string("\xFE\xFF\0a\0\t\0" "1", 8)).sheet.at(0, 1).number, 1);
    EXPECT_EQ(open("caf\xE9,1").sheet.at(0, 0).text, "caf\xC3\xA9"); // not UTF-8: Windows-1252
    std::string utf8;
    ASSERT_TRUE(decodeText("\x8E", "macintosh", utf8));
    EXPECT_EQ(utf8, "\xC3\xA9");
    ASSERT_TRUE(decodeText("\xEF\xBB\xBF\xC3\xA9", "macintosh", utf8)); // the mark outranks the declaration
    EXPECT_EQ(utf8, "\xC3\xA9");
    EXPECT_EQ(declaredHtmlCharset("<html><head><META http-equiv=Content-Type content=\"text/html; charset=macintosh\">"),
              "macintosh");
    EXPECT_EQ(declaredHtmlCharset("<meta charset='Shift_JIS'>"), "shift_jis");
    EXPECT_EQ(declaredXmlCharset("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"), "iso-8859-1");
    const Opened page = open("<html><head><meta charset=macintosh></head><body><table><tr><td>\x8E</td></tr></table>");
    EXPECT_EQ(page.sheet.at(0, 0).text, "\xC3\xA9");
    // A 16-bit encoding declared in bytes that read as ASCII is wrong: browsers ignore it, so do we.
    const Opened wrong = open("<html><head><meta charset=utf-16></head><body><table><tr><td>caf\xC3\xA9</td>");
    EXPECT_EQ(wrong.sheet.at(0, 0).text, "caf\xC3\xA9");
}

TEST(TextFiles, BinaryDataAndOtherXmlAreNoWorkbook)
{
    std::unique_ptr<model::WorkbookReader> reader;
    EXPECT_EQ(openTextBytes(std::string("ab\0cd", 5), "x", reader).code(), EngineErrc::NotAWorkbook);
    EXPECT_EQ(openTextBytes("<?xml version=\"1.0\"?><svg/>", "x", reader).code(), EngineErrc::NotAWorkbook);
    EXPECT_EQ(reader, nullptr);
}

constexpr std::string_view kXmlSpreadsheet = R"(<?xml version="1.0"?>
<?mso-application progid="Excel.Sheet"?>
<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet" xmlns:o="urn:schemas-microsoft-com:office:office"
 xmlns:x="urn:schemas-microsoft-com:office:excel" xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet"
 xmlns:html="http://www.w3.org/TR/REC-html40">
 <DocumentProperties xmlns="urn:schemas-microsoft-com:office:office"><Author>Ann</Author></DocumentProperties>
 <ExcelWorkbook xmlns="urn:schemas-microsoft-com:office:excel"><Date1904/><ActiveSheet>1</ActiveSheet></ExcelWorkbook>
 <Styles>
  <Style ss:ID="Default" ss:Name="Normal"><Font ss:FontName="Calibri" ss:Size="11"/></Style>
  <Style ss:ID="bold"><Font ss:FontName="Calibri" ss:Size="11" ss:Bold="1"/></Style>
  <Style ss:ID="date" ss:Parent="bold"><NumberFormat ss:Format="Short Date"/></Style>
 </Styles>
 <Names><NamedRange ss:Name="Total" ss:RefersTo="=One!R1C1:R2C2"/></Names>
 <Worksheet ss:Name="One">
  <Table>
   <Row ss:Index="2">
    <Cell ss:MergeAcross="1" ss:HRef="http://example.com/"><Data ss:Type="String">a&#7;b</Data></Cell>
    <Cell ss:StyleID="date"><Data ss:Type="DateTime">1904-01-03T12:00:00.000</Data></Cell>
    <Cell ss:Formula="=R[-1]C+1"><Data ss:Type="Number">2</Data><Comment ss:Author="Bo"><ss:Data
      xmlns="http://www.w3.org/TR/REC-html40"><B>Bold</B> plain</ss:Data></Comment></Cell>
   </Row>
  </Table>
 </Worksheet>
 <Worksheet ss:Name="Two"><WorksheetOptions xmlns="urn:schemas-microsoft-com:office:excel"><Visible>SheetHidden</Visible></WorksheetOptions></Worksheet>
</Workbook>
)";

TEST(XmlSpreadsheet, IsReadIntoTheModelAndWrittenAfresh)
{
    Opened opened = open(kXmlSpreadsheet);
    const model::WorkbookInfo& info = opened.reader->info();
    ASSERT_EQ(info.sheets.size(), 2u);
    EXPECT_EQ(info.sheets[1].visibility, model::Visibility::Hidden);
    EXPECT_TRUE(info.date1904);
    EXPECT_EQ(info.properties.author, "Ann");
    const RecordingSink& s = opened.sheet;
    EXPECT_EQ(s.at(1, 0).text, "ab"); // a character XML forbids is left out
    const SeenCell& date = s.at(1, 2); // after the merge's two columns
    EXPECT_DOUBLE_EQ(date.number, 2.5);
    const model::CellStyle& dateStyle = info.cellStyles[static_cast<std::size_t>(date.style)];
    EXPECT_TRUE(dateStyle.font.bold); // from its parent
    EXPECT_EQ(dateStyle.numberFormat, "m/d/yyyy");
    EXPECT_EQ(s.at(1, 3).formula, "=R[-1]C+1");
    ASSERT_EQ(s.header.merges.size(), 1u);
    EXPECT_EQ(s.header.merges[0].lastCol, 1u);
    ASSERT_EQ(s.header.comments.size(), 1u);
    EXPECT_EQ(s.header.comments[0].text.size(), 2u);
    EXPECT_TRUE(s.header.comments[0].text[0].font.bold);

    const std::string xml = converted(kXmlSpreadsheet);
    EXPECT_THAT(xml, HasSubstr("<Data ss:Type=\"DateTime\">1904-01-03T12:00:00.000</Data>"));
    EXPECT_THAT(xml, HasSubstr("ss:MergeAcross=\"1\""));
    EXPECT_THAT(xml, HasSubstr("<NamedRange ss:Name=\"Total\" ss:RefersTo=\"=One!R1C1:R2C2\"/>"));
    EXPECT_THAT(xml, HasSubstr("<Visible>SheetHidden</Visible>"));
}

TEST(XmlSpreadsheet, DamagedOrForeignXmlIsRefused)
{
    std::unique_ptr<model::WorkbookReader> reader;
    std::string cut(kXmlSpreadsheet.substr(0, kXmlSpreadsheet.size() / 2));
    EXPECT_EQ(openTextBytes(cut, "x", reader).code(), EngineErrc::DamagedFile);
    std::string entity = "<?xml version=\"1.0\"?><!DOCTYPE w [<!ENTITY a \"aaaa\">]>"
                         "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"/>";
    EXPECT_EQ(openTextBytes(entity, "x", reader).code(), EngineErrc::DamagedFile);
    // Sheet parts outside a Worksheet belong to no sheet.
    const std::string loose = "<?xml version=\"1.0\"?><Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\">"
                              "<Table/><WorksheetOptions/><Worksheet ss:Name=\"S\" xmlns:ss=\"urn:schemas-microsoft-com:"
                              "office:spreadsheet\"/></Workbook>";
    EXPECT_TRUE(openTextBytes(loose, "x", reader));
    std::string far = std::string(kXmlSpreadsheet);
    far.replace(far.find("ss:Index=\"2\""), 12, "ss:Index=\"2000000\"");
    EXPECT_EQ(openTextBytes(far, "x", reader).code(), EngineErrc::LimitExceeded);
    // Rows that go backwards would let a short file claim the same long span again and again.
    std::string backwards = std::string(kXmlSpreadsheet);
    backwards.insert(backwards.find("<Row ss:Index=\"2\">"), "<Row ss:Index=\"9\" ss:Span=\"99\" ss:Height=\"5\"/>");
    EXPECT_EQ(openTextBytes(backwards, "x", reader).code(), EngineErrc::DamagedFile);
}

TEST(WebPage, TablesBecomeOneSheetWithSpansAsMergesAndLinks)
{
    const Opened opened = open("<html><body><h1>Sales</h1><table>"
                               "<tr><th colspan=2>Region</th><th rowspan=2>Total</th><td>x</td></tr>"
                               "<tr><td>North</td><td><a href='http://n/'>007</a></td><td>after</td></tr>"
                               "<tr><td colspan=2 style='mso-ignore:colspan'>wide text</td><td>1,5</td></tr>"
                               "</table><p>Notes   here</p><table><tr><td>a<br>\n  b</td></tr></table>",
                               "report");
    const RecordingSink& s = opened.sheet;
    EXPECT_EQ(s.header.name, "report");
    EXPECT_EQ(s.at(0, 0).text, "Sales");
    EXPECT_EQ(s.at(1, 0).text, "Region");
    EXPECT_TRUE(opened.reader->info().cellStyles[static_cast<std::size_t>(s.at(1, 0).style)].font.bold);
    EXPECT_EQ(s.at(1, 2).text, "Total");
    EXPECT_EQ(s.at(1, 3).text, "x");
    EXPECT_EQ(s.at(2, 1).number, 7);
    EXPECT_EQ(s.at(2, 3).text, "after"); // column 2 is taken by the rowspan above
    EXPECT_EQ(s.at(3, 2).text, "1,5");
    EXPECT_EQ(s.at(4, 0).text, "Notes here");
    EXPECT_EQ(s.at(5, 0).text, "a\nb");
    ASSERT_EQ(s.header.merges.size(), 2u); // the ignored colspan is overflowing text, not a merge
    EXPECT_EQ(s.header.merges[1].firstRow, 1u);
    EXPECT_EQ(s.header.merges[1].lastRow, 2u);
    ASSERT_EQ(s.header.hyperlinks.size(), 1u);
    EXPECT_EQ(s.header.hyperlinks[0].href, "http://n/");
    EXPECT_EQ(s.header.hyperlinks[0].firstCol, 1u);
}

TEST(WebPage, ExcelsOwnPagesKeepTypesFormatsFormulasAndTheSheetName)
{
    const Opened opened = open(
        "<html xmlns:x=\"urn:schemas-microsoft-com:office:excel\"><head><meta name=ProgId content=Excel.Sheet>"
        "<style><!--.style0{font-family:Calibri, sans-serif;font-size:12.0pt;mso-style-name:Normal;}"
        ".xl65{mso-style-parent:style0;mso-number-format:\"0\\.00\";color:red;}--></style>"
        "<!--[if gte mso 9]><xml><x:ExcelWorkbook><x:ExcelWorksheets><x:ExcelWorksheet><x:Name>Q1 [final]</x:Name>"
        "</x:ExcelWorksheet></x:ExcelWorksheets></x:ExcelWorkbook></xml><![endif]--></head><body><table>"
        "<col width=87 span=2 style='width:65pt'>"
        "<tr height=21 style='height:16.0pt'><td class=xl65 x:num=\"3.25\">3.3</td><td x:str>007</td>"
        "<td x:fmla=\"=A1*2\" x:num>6.5</td><td x:bool=\"TRUE\">TRUE</td><td x:err=\"#DIV/0!\">#DIV/0!</td></tr>"
        "<tr height=0 style='display:none'><td></td></tr></table>");
    const RecordingSink& s = opened.sheet;
    EXPECT_EQ(s.header.name, "Q1 _final_");
    EXPECT_EQ(s.at(0, 0).number, 3.25);
    const model::CellStyle& style = opened.reader->info().cellStyles[static_cast<std::size_t>(s.at(0, 0).style)];
    EXPECT_EQ(style.numberFormat, "0.00");
    EXPECT_EQ(style.font.name, "Calibri");
    EXPECT_EQ(style.font.size, 12);
    EXPECT_EQ(style.font.color, (model::Rgb{255, 0, 0}));
    EXPECT_EQ(s.at(0, 1).text, "007");
    EXPECT_EQ(s.at(0, 2).formula, "=RC[-2]*2");
    EXPECT_EQ(s.at(0, 2).number, 6.5);
    EXPECT_EQ(s.at(0, 3).type, CellType::Boolean);
    EXPECT_EQ(s.at(0, 4).text, "#DIV/0!");
    ASSERT_EQ(s.header.columns.size(), 1u);
    EXPECT_EQ(s.header.columns[0].width, 65);
    EXPECT_EQ(s.header.columns[0].last, 1u);
    EXPECT_EQ(s.rows.at(0).height, 16);
    EXPECT_EQ(s.rows.count(1), 0u); // the hidden empty row that ends Excel's tables
}

TEST(WebPage, HostileNestingAndSpansStayBounded)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<div><table><tr><td>";
    deep += "x";
    const Opened nested = open(deep);
    EXPECT_EQ(nested.sheet.at(0, 0).text, "x");
    std::unique_ptr<model::WorkbookReader> reader;
    std::string wide = "<table><tr>";
    for (int i = 0; i < 20; ++i)
        wide += "<td colspan=99999>a</td>"; // cut to 1000 columns each, as browsers do
    EXPECT_EQ(openTextBytes(wide, "x", reader).code(), EngineErrc::LimitExceeded);
    const Opened spans = open("<table><tr><td rowspan=99999999>a</td><td>b</td></tr><tr><td>c</td></tr></table>");
    EXPECT_EQ(spans.sheet.at(1, 1).text, "c");
}

/// A web page saved by Excel as several files: the frameset page listing two sheets, the sheet files and the style
/// sheet they share in "Book files" (linked as "Book%20files").
struct MultiFilePage
{
    test::TempDir dir;
    std::string page = dir.file("Book.htm");

    explicit MultiFilePage(std::string_view secondSource = "Book%20files/sheet002.htm")
    {
        std::filesystem::create_directory(dir.file("Book files"));
        dir.write("Book.htm",
                  "<html xmlns:x=\"urn:schemas-microsoft-com:office:excel\"><head>"
                  "<meta name=\"Excel Workbook Frameset\"><meta name=ProgId content=Excel.Sheet>"
                  "<!--[if gte mso 9]><xml><x:ExcelWorkbook><x:ExcelWorksheets>"
                  "<x:ExcelWorksheet><x:Name>Sales &amp; costs</x:Name>"
                  "<x:WorksheetSource HRef=\"Book%20files/sheet001.htm\"/></x:ExcelWorksheet>"
                  "<x:ExcelWorksheet><x:Name>Notes</x:Name><x:WorksheetSource HRef=\"" +
                      std::string(secondSource) +
                      "\"/></x:ExcelWorksheet></x:ExcelWorksheets><x:WindowHeight>8700</x:WindowHeight>"
                      "<x:ActiveSheet>1</x:ActiveSheet></x:ExcelWorkbook></xml><![endif]--><!--[if gte mso 9]><xml>"
                      "<o:DocumentProperties><o:Author>Ann &amp; Bo</o:Author></o:DocumentProperties></xml><![endif]-->"
                      "</head>"
                      "<frameset rows=\"*,39\"><frame src=\"Book%20files/sheet001.htm\" name=\"frSheet\">"
                      "<noframes><body><p>This page uses frames.</p></body></noframes></frameset></html>");
        // The style sheet declares no charset: it is in its pages' (a font named in Shift_JIS).
        dir.write("Book files/stylesheet.css", ".style0{font-family:\"\x83\x53\x83\x56\x83\x62\x83\x4E\";font-size:9.0pt;}\n"
                                               ".xl65{mso-style-parent:style0;font-weight:700;}\n"
                                               ".xl66{mso-number-format:\"Short Date\";}");
        const std::string head = "<html><head><meta charset=shift_jis><meta name=ProgId content=Excel.Sheet>"
                                 "<link rel=Stylesheet href=stylesheet.css><![if !supportTabStrip]><script>"
                                 "fnUpdateTabs();</script><![endif]><!--[if gte mso 9]><xml></xml><![endif]-->"
                                 "</head><body><table>";
        dir.write("Book files/sheet001.htm", head + "<tr><td class=xl65 x:num>12</td></tr></table>");
        dir.write("Book files/sheet002.htm", head + "<tr><td>second</td><td class=xl66 x:num=\"39448\">1/1/2008</td>"
                                                    "</tr></table>");
    }

    Status open(std::unique_ptr<model::WorkbookReader>& reader) const { return openWorkbook(page, reader); }
};

TEST(WebPage, MultiFilePageReadsEachListedSheetFromItsFile)
{
    const MultiFilePage book;
    std::unique_ptr<model::WorkbookReader> reader;
    const Status status = book.open(reader);
    ASSERT_TRUE(status) << status.description();
    ASSERT_EQ(reader->info().sheets.size(), 2u);
    EXPECT_EQ(reader->info().sheets[0].name, "Sales & costs");
    EXPECT_EQ(reader->info().sheets[1].name, "Notes");
    EXPECT_EQ(reader->info().windowHeight, 8700);
    EXPECT_EQ(reader->info().activeSheet, 1);
    EXPECT_EQ(reader->info().properties.author, "Ann & Bo");
    RecordingSink first, second;
    ASSERT_TRUE(reader->readSheet(0, first));
    ASSERT_TRUE(reader->readSheet(1, second));
    EXPECT_EQ(first.at(0, 0).number, 12);
    const model::CellStyle& style = reader->info().cellStyles[static_cast<std::size_t>(first.at(0, 0).style)];
    EXPECT_TRUE(style.font.bold);
    EXPECT_EQ(style.font.name, "\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF");
    EXPECT_EQ(second.at(0, 0).text, "second");
    EXPECT_EQ(reader->info().cellStyles[static_cast<std::size_t>(second.at(0, 1).style)].numberFormatId, 14);
}

TEST(WebPage, MultiFilePageRefusesMissingSheetsAndLinksOutOfItsFolder)
{
    std::unique_ptr<model::WorkbookReader> reader;
    {
        const MultiFilePage missing("Book%20files/sheet003.htm");
        const Status status = missing.open(reader);
        EXPECT_EQ(status.code(), EngineErrc::DamagedFile);
        EXPECT_THAT(status.detail(), HasSubstr("\"Notes\" cannot be read from Book%20files/sheet003.htm"));
    }
    {
        const MultiFilePage many;
        std::string list;
        for (int i = 0; i < 4097; ++i)
            list += "<x:ExcelWorksheet><x:WorksheetSource HRef=\"Book%20files/sheet001.htm\"/></x:ExcelWorksheet>";
        many.dir.write("Book.htm", "<html><!--[if gte mso 9]><xml><x:ExcelWorkbook><x:ExcelWorksheets>" + list +
                                       "</x:ExcelWorksheets></x:ExcelWorkbook></xml><![endif]--></html>");
        EXPECT_EQ(many.open(reader).code(), EngineErrc::LimitExceeded); // not the first 4096 of them
    }
    test::TempDir outside;
    outside.write("secret.htm", "<table><tr><td>secret</td></tr></table>");
    for (const std::string& source : {std::string("../") + "x/Book%20files/sheet002.htm", outside.file("secret.htm"),
                                      "file:" + outside.file("secret.htm"), std::string("Book%20files/%2E%2E/%2E%2E/x"),
                                      std::string("Book%20files/escape.htm")})
    {
        SCOPED_TRACE(source);
        const MultiFilePage book(source);
        std::filesystem::create_symlink(outside.file("secret.htm"), book.dir.file("Book files/escape.htm"));
        const Status status = book.open(reader);
        EXPECT_EQ(status.code(), EngineErrc::DamagedFile);
        EXPECT_THAT(status.detail(), HasSubstr("out of the page's folder"));
    }
}

// Excel's own XML Spreadsheets, read and written again, come out the same a second time: whatever the reader takes
// from the writer's output it gives back unchanged. Excel's web pages convert with their cells.
TEST(TextCorpus, XmlSpreadsheetsReachAFixedPointAndWebPagesConvert)
{
    VELQUIN_REQUIRE_CORPUS();
    const auto spreadsheets = test::corpusSources({"xmlss"});
    ASSERT_FALSE(spreadsheets.empty());
    for (const auto& path : spreadsheets)
    {
        SCOPED_TRACE(path.string());
        const std::string once = converted(test::readFile(path));
        EXPECT_THAT(once, HasSubstr("<Cell"));
        EXPECT_EQ(converted(once), once);
    }
    for (const auto& path : test::corpusSources({"html"}))
    {
        SCOPED_TRACE(path.string());
        EXPECT_THAT(converted(test::readFile(path)), HasSubstr("<Data ss:Type=\"String\">"));
    }
}

} // namespace
} // namespace velquin::engine::text
