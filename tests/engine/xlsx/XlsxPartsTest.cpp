// Tests of the part readers on inline XML: the cell skipper of the first pass, dates, styles, relationships,
// shared strings, properties, validations and conditional formats.
#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/PropertiesReader.h"
#include "engine/xlsx/Relationships.h"
#include "engine/xlsx/RichTextCollector.h"
#include "engine/xlsx/SheetDataReader.h"
#include "engine/xlsx/SheetPartSplitter.h"
#include "engine/xlsx/SheetStructureReader.h"
#include "engine/xlsx/StylesReader.h"
#include "engine/xlsx/VmlNotes.h"
#include "engine/xlsx/XmlParser.h"

#include <gtest/gtest.h>
#include <string>

using namespace velquin::engine;
using namespace velquin::engine::xlsx;

namespace {

std::string skeletonInPieces(std::string_view part, std::size_t piece)
{
    SheetDataSkipper skipper;
    std::string skeleton;
    for (std::size_t at = 0; at < part.size(); at += piece)
        skipper.feed(part.data() + at, std::min(piece, part.size() - at), skeleton);
    return skeleton;
}

StylesResult stylesOf(std::string_view xml)
{
    ColorResolver colors;
    StylesResult result;
    EXPECT_TRUE(readStyles(xml, colors, result));
    return result;
}

SheetStructure structureOf(std::string_view body, const std::vector<std::string>* css = nullptr)
{
    std::string xml = "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">" +
                      std::string(body) + "</worksheet>";
    SheetStructure out;
    SheetContext context{7, css};
    Status status = readSheetStructure(xml, "sheet1.xml", context, out);
    EXPECT_TRUE(status) << status.detail();
    return out;
}

} // namespace

TEST(SheetSkeleton, CellsAreLeftOutWhereverThePiecesBreak)
{
    const std::string part = R"(<x:worksheet xmlns:x="main"><x:cols><x:col min="1" max="1"/></x:cols>)"
                             R"(<x:sheetData><x:row r="1"><x:c r="A1" t="inlineStr"><x:is><x:t>sheetData )"
                             R"(sheetData&gt;</x:t></x:is></x:c></x:row></x:sheetData><x:mergeCells count="1">)"
                             R"(<x:mergeCell ref="A1:B2"/></x:mergeCells></x:worksheet>)";
    const std::string expected = R"(<x:worksheet xmlns:x="main"><x:cols><x:col min="1" max="1"/></x:cols>)"
                                 R"(<x:sheetData></x:sheetData><x:mergeCells count="1">)"
                                 R"(<x:mergeCell ref="A1:B2"/></x:mergeCells></x:worksheet>)";
    for (std::size_t piece : {std::size_t(1), std::size_t(2), std::size_t(7), std::size_t(64), part.size()})
        EXPECT_EQ(skeletonInPieces(part, piece), expected) << "pieces of " << piece;
}

TEST(SheetSkeleton, EmptyOrMissingCellsKeepThePartAsItIs)
{
    for (std::string part : {std::string("<worksheet><sheetData/><mergeCells/></worksheet>"),
                             std::string("<worksheet><sheetDataX>1</sheetDataX></worksheet>"),
                             std::string("<worksheet><dimension ref=\"A1\"/></worksheet>")})
    {
        EXPECT_EQ(skeletonInPieces(part, 3), part);
    }
}

TEST(IsoDates, SerialsFollowTheDateSystemsOfExcel)
{
    struct Case
    {
        const char* text;
        bool date1904;
        double serial;
    };
    for (Case c : {Case{"1900-01-01", false, 1}, Case{"1900-02-28", false, 59}, Case{"1900-03-01", false, 61},
                   Case{"2017-03-14T06:00:00Z", false, 42808.25}, Case{"1904-01-01", true, 0},
                   Case{"1904-01-02T12:00:00.5", true, 1.5 + 0.5 / 86400}, Case{"12:00:00", false, 0.5},
                   Case{"1899-12-31", false, 0}})
    {
        double serial = -1;
        ASSERT_TRUE(isoDateToSerial(c.text, c.date1904, serial)) << c.text;
        EXPECT_NEAR(serial, c.serial, 1e-9) << c.text;
    }
    double serial = 0;
    for (const char* bad : {"", "2017-13-01", "2017-1-1", "2017-01-01T25:00", "noon", "2017-01-01Tx"})
        EXPECT_FALSE(isoDateToSerial(bad, false, serial)) << bad;
}

TEST(XlsxStyles, CellFormatsApplyTheirOwnPartsOverTheirCellStyle)
{
    StylesResult styles = stylesOf(
        R"(<styleSheet><numFmts count="1"><numFmt numFmtId="164" formatCode="0.000%"/></numFmts>)"
        R"(<fonts count="2"><font><sz val="11"/><name val="Calibri"/></font>)"
        R"(<font><b/><i/><u val="double"/><sz val="14"/><color rgb="FFFF0000"/><name val="Arial"/></font></fonts>)"
        R"(<fills count="3"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill>)"
        R"(<fill><patternFill patternType="lightUp"><fgColor indexed="10"/><bgColor rgb="FF00FF00"/></patternFill></fill></fills>)"
        R"(<borders count="2"><border/><border><left style="thick"><color rgb="FF0000FF"/></left>)"
        R"(<bottom style="dashDot"/><top style="thin"><color indexed="65"/></top></border></borders>)"
        R"(<cellStyleXfs count="2"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>)"
        R"(<xf numFmtId="10" fontId="1" fillId="2" borderId="1" applyNumberFormat="1" applyFont="1" applyFill="1"/></cellStyleXfs>)"
        R"(<cellXfs count="3"><xf numFmtId="0" fontId="0" xfId="0"/>)"
        R"(<xf numFmtId="164" fontId="0" fillId="0" borderId="1" xfId="1" applyNumberFormat="1" applyFont="0" applyFill="0">)"
        R"(<alignment horizontal="center" vertical="top" wrapText="1" textRotation="45" indent="2"/>)"
        R"(<protection locked="0" hidden="1"/></xf><xf numFmtId="14" xfId="0" applyNumberFormat="1"/></cellXfs>)"
        R"(<cellStyles count="2"><cellStyle name="Normal" xfId="0" builtinId="0"/><cellStyle name="Loud" xfId="1"/>)"
        R"(</cellStyles></styleSheet>)");
    ASSERT_EQ(styles.cellStyles.size(), 3u);
    ASSERT_EQ(styles.namedStyles.size(), 2u);
    EXPECT_EQ(styles.namedStyles[1].name, "Loud");
    EXPECT_EQ(styles.namedStyles[1].style.numberFormat, "0.00%");

    const model::CellStyle& cell = styles.cellStyles[1];
    EXPECT_EQ(cell.parentStyle, 1);
    EXPECT_EQ(cell.numberFormat, "0.000%");
    EXPECT_EQ(cell.font.name, "Arial"); // the cell style's font and fill, as applyFont and applyFill are 0
    EXPECT_TRUE(cell.font.bold);
    EXPECT_EQ(cell.font.underline, model::Underline::Double);
    EXPECT_EQ(cell.font.color, (model::Rgb{255, 0, 0}));
    EXPECT_EQ(cell.interior.pattern, model::Pattern::ThinDiagStripe);
    EXPECT_EQ(cell.interior.color, (model::Rgb{0, 255, 0}));
    EXPECT_EQ(cell.interior.patternColor, (model::Rgb{255, 0, 0}));
    EXPECT_EQ(cell.borders.left.lineStyle, model::LineStyle::Continuous);
    EXPECT_EQ(cell.borders.left.weight, 3);
    EXPECT_EQ(cell.borders.bottom.lineStyle, model::LineStyle::DashDot);
    EXPECT_FALSE(cell.borders.left.windowBackground);
    EXPECT_FALSE(cell.borders.top.color); // the system's window background, named rather than spelled
    EXPECT_TRUE(cell.borders.top.windowBackground);
    EXPECT_EQ(cell.alignment.horizontal, model::Horizontal::Center);
    EXPECT_EQ(cell.alignment.vertical, model::Vertical::Top);
    EXPECT_TRUE(cell.alignment.wrapText);
    EXPECT_EQ(cell.alignment.rotate, 45);
    EXPECT_EQ(cell.alignment.indent, 2);
    EXPECT_FALSE(cell.protection.locked);
    EXPECT_TRUE(cell.protection.hideFormula);

    EXPECT_EQ(styles.cellStyles[2].numberFormat, "m/d/yyyy");
    EXPECT_EQ(styles.cellStyles[2].numberFormatId, 14);
}

TEST(XlsxStyles, MissingOrOutOfRangeReferencesFallBackToDefaults)
{
    StylesResult none = stylesOf("");
    ASSERT_EQ(none.cellStyles.size(), 1u);
    EXPECT_EQ(none.namedStyles.at(0).name, "Normal");

    StylesResult bad =
        stylesOf(R"(<styleSheet><fonts count="1"><font><sz val="9"/><name val="Tahoma"/></font></fonts>)"
                 R"(<cellXfs count="1"><xf numFmtId="999" fontId="7" fillId="-3" borderId="99999999999" xfId="5"/>)"
                 R"(</cellXfs></styleSheet>)");
    ASSERT_EQ(bad.cellStyles.size(), 1u);
    EXPECT_EQ(bad.cellStyles[0].numberFormat, "General");
    EXPECT_EQ(bad.cellStyles[0].interior.pattern, model::Pattern::None);
}

TEST(XlsxStyles, DifferentialFormatsBecomeCss)
{
    StylesResult styles =
        stylesOf(R"(<styleSheet><dxfs count="1"><dxf><font><b/><color rgb="FF9C0006"/></font>)"
                 R"(<fill><patternFill><bgColor rgb="FFFFC7CE"/></patternFill></fill></dxf></dxfs></styleSheet>)");
    ASSERT_EQ(styles.differentialCss.size(), 1u);
    EXPECT_NE(styles.differentialCss[0].find("color:#9C0006"), std::string::npos) << styles.differentialCss[0];
    EXPECT_NE(styles.differentialCss[0].find("background:#FFC7CE"), std::string::npos) << styles.differentialCss[0];
    EXPECT_NE(styles.differentialCss[0].find("font-weight:700"), std::string::npos) << styles.differentialCss[0];
}

TEST(XlsxColors, IndexedPaletteCanBeReplacedAndAutomaticHasNoColour)
{
    ColorResolver colors;
    const char* indexed[] = {"indexed", "10", nullptr};
    EXPECT_EQ(colors.resolve(XmlAttributes(indexed)), (model::Rgb{255, 0, 0}));
    colors.setIndexed(10, {1, 2, 3});
    EXPECT_EQ(colors.resolve(XmlAttributes(indexed)), (model::Rgb{1, 2, 3}));
    const char* automatic[] = {"auto", "1", nullptr};
    EXPECT_FALSE(colors.resolve(XmlAttributes(automatic)));
    const char* outside[] = {"indexed", "4000", nullptr};
    EXPECT_FALSE(colors.resolve(XmlAttributes(outside)));
    const char* theme[] = {"theme", "1", nullptr}; // theme indexes swap dark and light: 1 is dk1
    EXPECT_EQ(colors.resolve(XmlAttributes(theme)), (model::Rgb{0, 0, 0}));
}

TEST(XlsxNotes, VisibleNoteShapesMarkTheirCommentShown)
{
    // Note shapes as Excel writes them, text boxes with an unclosed <br>; only x:Visible counts, not the style.
    const std::string vml =
        R"(<xml xmlns:x="urn:schemas-microsoft-com:office:excel"><v:shape style='visibility:hidden'>)"
        R"(<v:textbox><div>a<br>b</div></v:textbox><x:ClientData ObjectType="Note"><x:Row>3</x:Row>)"
        R"(<x:Column>2</x:Column><x:Visible/></x:ClientData></v:shape>)"
        R"(<v:shape style='visibility:visible'><x:ClientData ObjectType="Note"><x:Row>0</x:Row>)"
        R"(<x:Column>0</x:Column></x:ClientData></v:shape>)"
        R"(<v:shape><x:ClientData ObjectType="Button"><x:Row>5</x:Row><x:Column>5</x:Column><x:Visible/>)"
        R"(</x:ClientData></v:shape><v:shape><x:ClientData ObjectType="Note"><x:Row>7</x:Row><x:Visible/>)";
    std::vector<model::Comment> comments(4);
    comments[0].row = 3, comments[0].col = 2;
    comments[2].row = 5, comments[2].col = 5;
    comments[3].row = 7;
    markShownNotes(vml, comments);
    EXPECT_TRUE(comments[0].shown);
    EXPECT_FALSE(comments[1].shown);
    EXPECT_FALSE(comments[2].shown); // a button, not a note
    EXPECT_FALSE(comments[3].shown); // cut off before its column
}

TEST(XlsxRelationships, TargetsResolveAgainstTheirSourcePart)
{
    EXPECT_EQ(resolvePartName("xl/workbook.xml", "worksheets/sheet1.xml"), "xl/worksheets/sheet1.xml");
    EXPECT_EQ(resolvePartName("xl/worksheets/sheet1.xml", "../comments1.xml"), "xl/comments1.xml");
    EXPECT_EQ(resolvePartName("xl/workbook.xml", "/xl/styles.xml"), "xl/styles.xml");
    EXPECT_EQ(resolvePartName("", "xl/workbook.xml"), "xl/workbook.xml");
    EXPECT_EQ(resolvePartName("xl/workbook.xml", "../../../../etc/passwd"), "etc/passwd");
    EXPECT_EQ(resolvePartName("xl/workbook.xml", "./a/./b.xml"), "xl/a/b.xml");
}

TEST(XlsxText, EscapesOfCharactersXmlCannotHoldAreDecoded)
{
    struct Case
    {
        std::string in, out;
    };
    for (const Case& c : {Case{"a_x000D_b", "a\rb"}, Case{"_x005F_x000D_", "_x000D_"}, Case{"_x00e9_", "\xC3\xA9"},
                          Case{"_xD83D__xDE00_", "\xF0\x9F\x98\x80"}, Case{"_xD83D_", "\xEF\xBF\xBD"},
                          Case{"_xDE00_x", "\xEF\xBF\xBDx"}, Case{"_x12G4_", "_x12G4_"}, Case{"_x1", "_x1"}})
    {
        std::string text = c.in;
        decodeOoxmlEscapes(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
}

TEST(XlsxProperties, CoreAppAndCustomPropertiesAreRead)
{
    model::DocumentProperties properties;
    EXPECT_TRUE(readCoreProperties(
        R"(<cp:coreProperties xmlns:cp="c" xmlns:dc="d" xmlns:dcterms="t"><dc:title>Plan</dc:title><dc:creator>Ann</dc:creator>)"
        R"(<cp:lastModifiedBy>Bob</cp:lastModifiedBy><dcterms:created>2006-09-16T00:00:00.123Z</dcterms:created>)"
        R"(</cp:coreProperties>)",
        properties));
    EXPECT_TRUE(readAppProperties(R"(<Properties><Company>Acme</Company><AppVersion>16.0300</AppVersion></Properties>)",
                                  properties));
    EXPECT_TRUE(readCustomProperties(
        R"(<Properties xmlns:vt="v"><property name="Done" fmtid="x" pid="2"><vt:bool>true</vt:bool></property>)"
        R"(<property name="Count" pid="3"><vt:i4>12</vt:i4></property></Properties>)",
        properties));
    EXPECT_EQ(properties.title, "Plan");
    EXPECT_EQ(properties.author, "Ann");
    EXPECT_EQ(properties.lastAuthor, "Bob");
    EXPECT_EQ(properties.created, "2006-09-16T00:00:00Z");
    EXPECT_EQ(properties.company, "Acme");
    ASSERT_EQ(properties.custom.size(), 2u);
    EXPECT_EQ(properties.custom[0].type, model::CustomProperty::Type::Boolean);
    EXPECT_EQ(properties.custom[0].value, "1");
    EXPECT_EQ(properties.custom[1].type, model::CustomProperty::Type::Number);
    EXPECT_EQ(properties.custom[1].value, "12");
}

TEST(XlsxSheetOptions, ValidationsAndConditionsBecomeR1C1RelativeToTheirRange)
{
    std::vector<std::string> css{"color:#9C0006"};
    SheetStructure sheet = structureOf(
        R"(<dataValidations count="2"><dataValidation type="whole" operator="between" allowBlank="1" showErrorMessage="1" )"
        R"(errorTitle="No" error="Too big" sqref="B2:B10 D4"><formula1>1</formula1><formula2>$A$1+B1</formula2></dataValidation>)"
        R"(<dataValidation type="list" sqref="C3"><formula1>"a,b"</formula1></dataValidation></dataValidations>)"
        R"(<conditionalFormatting sqref="B7:D8"><cfRule type="cellIs" dxfId="0" priority="1" operator="greaterThan">)"
        R"(<formula>5</formula></cfRule><cfRule type="expression" dxfId="3" priority="2"><formula>B7&gt;C7</formula></cfRule>)"
        R"(<cfRule type="colorScale" priority="3"/></conditionalFormatting>)"
        R"(<conditionalFormatting sqref="A1:A5"><cfRule type="dataBar" priority="4"/></conditionalFormatting>)"
        R"(<autoFilter ref="A1:E22"/><sheetProtection sheet="1" objects="1"/>)",
        &css);
    const model::SheetOptions& o = sheet.options;
    ASSERT_EQ(o.validations.size(), 2u);
    EXPECT_EQ(o.validations[0].rangeR1C1, "R2C2:R10C2,R4C4");
    EXPECT_EQ(o.validations[0].type, "Whole");
    EXPECT_EQ(o.validations[0].qualifier, "Between");
    EXPECT_EQ(o.validations[0].min, "1");
    EXPECT_EQ(o.validations[0].max, "R1C1+R[-1]C");
    EXPECT_EQ(o.validations[0].errorMessage, "Too big");
    EXPECT_TRUE(o.validations[0].showError);
    EXPECT_EQ(o.validations[1].type, "List");
    EXPECT_EQ(o.validations[1].value, "\"a,b\"");
    EXPECT_TRUE(o.validations[1].qualifier.empty());
    ASSERT_EQ(o.conditionalFormats.size(), 2u);
    const model::ConditionalFormat& format = o.conditionalFormats[0];
    EXPECT_EQ(format.rangeR1C1, "R7C2:R8C4");
    EXPECT_EQ(o.conditionalFormats[1].rangeR1C1, "R1C1:R5C1"); // a data bar: the range stays, without conditions
    EXPECT_TRUE(o.conditionalFormats[1].rules.empty());
    ASSERT_EQ(format.rules.size(), 2u);
    EXPECT_EQ(format.rules[0].qualifier, "Greater");
    EXPECT_EQ(format.rules[0].value1, "5");
    EXPECT_EQ(format.rules[0].css, "color:#9C0006");
    EXPECT_EQ(format.rules[1].value1, "RC>RC[1]");
    EXPECT_TRUE(format.rules[1].css.empty());
    EXPECT_EQ(o.autoFilterR1C1, "R1C1:R22C5");
    EXPECT_TRUE(o.protectContents);
    EXPECT_TRUE(o.protectObjects);
    EXPECT_FALSE(o.protectScenarios);
}

TEST(XlsxSheetOptions, ManySmallEntriesCannotClaimUnboundedMemory)
{
    // A validation is a few bytes of XML but hundreds in memory: a sheet of 300,000 of them (9 MB of XML, under the
    // count limit) is refused for its memory, while a thousand read as usual.
    const auto validations = [](int count) {
        std::string xml =
            "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dataValidations>";
        for (int i = 0; i < count; ++i)
            xml += "<dataValidation sqref=\"A" + std::to_string(i % 1000 + 1) + "\"/>";
        return xml + "</dataValidations></worksheet>";
    };
    SheetContext context{7, nullptr};
    SheetStructure many;
    const Status refused = readSheetStructure(validations(300000), "sheet1.xml", context, many);
    EXPECT_EQ(refused.code(), EngineErrc::LimitExceeded) << refused.detail();
    SheetStructure some;
    ASSERT_TRUE(readSheetStructure(validations(1000), "sheet1.xml", context, some));
    EXPECT_EQ(some.options.validations.size(), 1000u);
}

TEST(XlsxSheetOptions, SplitPanesKeepTheirPositionAndSelectionsTheirRanges)
{
    SheetStructure sheet = structureOf(
        R"(<sheetViews><sheetView showGridLines="0" zoomScale="85" workbookViewId="0"><pane xSplit="2400" ySplit="1200" )"
        R"(topLeftCell="C5" activePane="bottomLeft"/><selection pane="bottomLeft" activeCell="C6" sqref="C6:D9 F1"/>)"
        R"(</sheetView><sheetView workbookViewId="1"><pane state="frozen" ySplit="9"/></sheetView></sheetViews>)");
    const model::SheetOptions& o = sheet.options;
    EXPECT_EQ(o.paneKind, model::PaneKind::Split);
    EXPECT_EQ(o.splitCols, 2400u);
    EXPECT_EQ(o.splitRows, 1200u);
    EXPECT_EQ(o.topRowBottomPane, 4u);
    EXPECT_EQ(o.activePane, 2);
    EXPECT_FALSE(o.showGridlines);
    EXPECT_EQ(o.zoom, 85);
    ASSERT_EQ(o.selections.size(), 1u);
    EXPECT_EQ(o.selections[0].activeRow, 5u);
    EXPECT_EQ(o.selections[0].rangeR1C1, "R6C3:R9C4,R1C6");
}

TEST(XlsxColumns, WidthsInCharactersBecomeWholePixelsInPoints)
{
    EXPECT_DOUBLE_EQ(columnWidthToPoints(9.140625, 7), 48); // Excel's default column, 64 pixels
    EXPECT_DOUBLE_EQ(columnWidthToPoints(0, 7), 0);
    EXPECT_DOUBLE_EQ(columnWidthToPoints(16.6640625, 8), 99.75);
    EXPECT_EQ(maxDigitWidthOf("Calibri", 11), 7);
    EXPECT_EQ(maxDigitWidthOf("Arial", 10), 7);
    EXPECT_GT(maxDigitWidthOf("Calibri", 1e9), 0);

    SheetStructure sheet = structureOf(R"(<sheetFormatPr baseColWidth="8" defaultRowHeight="15"/><cols>)"
                                       R"(<col min="3" max="5" width="20" hidden="1" style="4"/>)"
                                       R"(<col min="4" max="9" width="5"/><col min="20000" max="20001"/></cols>)");
    EXPECT_DOUBLE_EQ(sheet.header.defaultColumnWidth, 48); // 61 pixels, rounded up to 64
    ASSERT_EQ(sheet.header.columns.size(), 3u);
    EXPECT_EQ(sheet.header.columns[0].first, 2u);
    EXPECT_TRUE(sheet.header.columns[0].hidden);
    EXPECT_EQ(sheet.header.columns[0].style, 4);
    EXPECT_EQ(sheet.header.columns[1].first, 5u); // the overlap with the previous range is dropped
    EXPECT_EQ(sheet.header.columns[2].first, 16383u);
}
