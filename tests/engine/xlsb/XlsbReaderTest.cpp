// Tests of the .xlsb reader through the engine's entry point: binary records of every cell type, shared and array
// formulas, names, and the refusal of damaged record streams.
#include "engine/Engine.h"
#include "engine/xlsb/BinaryTables.h"

#include "tests/engine/crypto/PackageEncryption.h"
#include "tests/engine/xls/formula/FormulaTestBytes.h"
#include "tests/engine/xlsx/XlsxTestPackage.h"
#include "tests/support/TestSupport.h"

#include <cstring>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace velquin::engine;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using velquin::test::hexBytes;
using velquin::test::RecordingSink;
using velquin::test::TempDir;
using velquin::test::XlsxTestPackage;

namespace {

std::string u32(std::uint32_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}

std::string u16(std::uint16_t v)
{
    return {static_cast<char>(v), static_cast<char>(v >> 8)};
}

std::string hex(std::string_view text)
{
    const auto bytes = hexBytes(text);
    return {bytes.begin(), bytes.end()};
}

std::string wide(std::string_view ascii)
{
    std::string out = u32(static_cast<std::uint32_t>(ascii.size()));
    for (char c : ascii)
        out += std::string{c, '\0'};
    return out;
}

std::string number(double value)
{
    std::string out(8, '\0');
    std::memcpy(out.data(), &value, 8);
    return out;
}

// A record: type and size as base-128 numbers, then the body.
std::string rec(std::uint32_t type, const std::string& body)
{
    std::string out;
    out += static_cast<char>(type < 0x80 ? type : (type & 0x7F) | 0x80);
    if (type >= 0x80)
        out += static_cast<char>(type >> 7);
    std::size_t size = body.size();
    do
    {
        out += static_cast<char>((size & 0x7F) | (size > 0x7F ? 0x80 : 0));
        size >>= 7;
    } while (size);
    return out + body;
}

std::string cell(std::uint32_t col)
{
    return u32(col) + u32(0);
}

// A formula: its tokens and extra data, each with a four-byte size.
std::string formula(std::string_view rgce, std::string_view rgcb = {})
{
    const std::string tokens = hex(rgce), extra = hex(rgcb);
    return u32(static_cast<std::uint32_t>(tokens.size())) + tokens + u32(static_cast<std::uint32_t>(extra.size())) +
           extra;
}

std::string row(std::uint32_t number)
{
    return rec(0, u32(number) + u32(0) + u16(300) + u16(0) + std::string(1, '\0') + u32(0));
}

std::string sheetData(const std::string& records, const std::string& after = {})
{
    return rec(129, "") + rec(145, "") + records + rec(146, "") + after + rec(130, "");
}

XlsxTestPackage binaryPackage(const std::string& sheet)
{
    XlsxTestPackage package;
    package.part("[Content_Types].xml",
                 R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
                 R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
                 R"(<Default Extension="bin" ContentType="application/vnd.ms-excel.sheet.binary.macroEnabled.main"/></Types>)");
    package.part("_rels/.rels",
                 R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                 R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.bin"/></Relationships>)");
    package.part("xl/_rels/workbook.bin.rels",
                 R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                 R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.bin"/>)"
                 R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.bin"/>)"
                 R"(</Relationships>)");
    // Sheet "Data" (hidden), this workbook as the only book, one sheet reference, and a name local to the sheet
    // that points at Data!B3 through it.
    package.part("xl/workbook.bin",
                 rec(131, "") + rec(153, u32(1) + u32(0) + wide("")) + rec(143, "") +
                     rec(156, u32(1) + u32(1) + wide("rId1") + wide("Data")) + rec(144, "") + rec(357, "") +
                     rec(362, u32(1) + u32(0) + u32(0) + u32(0)) +
                     rec(39, u32(0) + std::string(1, '\0') + u32(0) + wide("Here") +
                                 formula("3A 00 00 02 00 00 00 01 00") + u32(0xFFFFFFFF)) +
                     rec(132, ""));
    package.part("xl/sharedStrings.bin", rec(159, u32(1) + u32(1)) + rec(19, std::string(1, '\0') + wide("first")) +
                                             rec(160, ""));
    package.part("xl/worksheets/sheet1.bin", sheet);
    package.part("xl/workbook.xml", "");
    return package;
}

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
    const std::string path = dir.file("book.xlsb");
    EXPECT_TRUE(package.save(path));
    Opened result;
    result.open = openWorkbook(path, result.reader);
    if (result.open)
        result.sheet = result.reader->readSheet(0, result.sink);
    return result;
}

} // namespace

TEST(XlsbCells, EveryCellTypeReadsWithItsValue)
{
    const std::string cells =
        row(0) + rec(2, cell(0) + u32((42u << 2) | 2)) + rec(2, cell(1) + u32((1234u << 2) | 3)) +
        rec(5, cell(2) + number(1.5)) + rec(7, cell(3) + u32(0)) + rec(4, cell(4) + "\x01") +
        rec(3, cell(5) + "\x07") + rec(6, cell(6) + wide("in line")) +
        rec(9, cell(7) + number(3) + u16(0) + formula("24 00 00 00 00 00 00 1E 02 00 03")) +
        rec(8, cell(8) + wide("ab") + u16(0) + formula("17 02 00 61 00 62 00")) + row(2) + rec(1, cell(0));
    Opened book = readFirstSheet(binaryPackage(sheetData(cells)));
    ASSERT_TRUE(book.open) << book.open.description();
    ASSERT_TRUE(book.sheet) << book.sheet.description();
    EXPECT_THAT(book.sink.lines,
                ElementsAre("row 1 ht 15.0", "A1 n 42", "B1 n 12.34", "C1 n 1.5", "D1 s 'first'", "E1 b 1",
                            "F1 e #DIV/0!", "G1 s 'in line'", "H1 n 3 =R1C1+2", "I1 s 'ab' =\"ab\"", "row 3 ht 15.0",
                            "A3 blank"));
    EXPECT_TRUE(book.sink.ended);
}

TEST(XlsbCells, ShortCellsTakeTheColumnAfterThePreviousCell)
{
    // Short records hold only the style: row 1 starts at A, row 2 goes on after a long record at C.
    const std::string style = u32(0);
    const std::string cells = row(0) + rec(16, style + number(2.5)) + rec(13, style + u32((7u << 2) | 2)) +
                              rec(18, style + u32(0)) + rec(15, style + "\x01") + rec(14, style + "\x2A") +
                              rec(17, style + wide("st")) + rec(12, style) + row(1) + rec(5, cell(2) + number(1)) +
                              rec(16, style + number(3));
    Opened book = readFirstSheet(binaryPackage(sheetData(cells)));
    ASSERT_TRUE(book.sheet) << book.sheet.description();
    EXPECT_THAT(book.sink.lines,
                ElementsAre("row 1 ht 15.0", "A1 n 2.5", "B1 n 7", "C1 s 'first'", "D1 b 1", "E1 e #N/A", "F1 s 'st'",
                            "G1 blank", "row 2 ht 15.0", "C2 n 1", "D2 n 3"));
}

TEST(XlsbCells, SharedAndArrayFormulasFollowTheirFirstCell)
{
    // Row 3: A3 and B3 share "one row up"; row 4: A4:B4 hold the array formula {=7}.
    const std::string cells =
        row(2) + rec(9, cell(0) + number(1) + u16(0) + formula("01 02 00 00 00", "00 00 00 00")) +
        rec(427, u32(2) + u32(2) + u32(0) + u32(1) + formula("2C FF FF FF FF 00 C0")) +
        rec(9, cell(1) + number(2) + u16(0) + formula("01 02 00 00 00", "00 00 00 00")) + row(3) +
        rec(9, cell(0) + number(7) + u16(0) + formula("01 03 00 00 00", "00 00 00 00")) +
        rec(426, u32(3) + u32(3) + u32(0) + u32(1) + std::string(1, '\0') + formula("1E 07 00")) +
        rec(9, cell(1) + number(7) + u16(0) + formula("01 03 00 00 00", "00 00 00 00"));
    Opened book = readFirstSheet(binaryPackage(sheetData(cells)));
    ASSERT_TRUE(book.sheet) << book.sheet.description();
    EXPECT_THAT(book.sink.lines, ElementsAre("row 3 ht 15.0", "A3 n 1 =R[-1]C", "B3 n 2 =R[-1]C", "row 4 ht 15.0",
                                             "A4 n 7 =7 {RC:RC[1]}", "B4 n 7"));
}

TEST(XlsbWorkbook, EncryptedPackageReadsAsThePlainOne)
{
    TempDir dir;
    const std::string plainPath = dir.file("plain.xlsb"), encryptedPath = dir.file("book.xlsb");
    ASSERT_TRUE(binaryPackage(sheetData(row(0) + rec(2, cell(0) + u32((42u << 2) | 2)))).save(plainPath));
    velquin::test::writeEncryptedPackage(encryptedPath,
                                         velquin::test::standardEncryption(plainPath, "VelvetSweatshop"));
    std::unique_ptr<model::WorkbookReader> reader;
    const Status open = openWorkbook(encryptedPath, reader);
    ASSERT_TRUE(open) << open.description();
    ASSERT_EQ(reader->info().sheets.size(), 1u);
    EXPECT_EQ(reader->info().sheets[0].name, "Data");
    RecordingSink sink;
    ASSERT_TRUE(reader->readSheet(0, sink));
    EXPECT_THAT(sink.lines, ElementsAre("row 1 ht 15.0", "A1 n 42"));
}

TEST(XlsbWorkbook, SheetsNamesAndStructure)
{
    const std::string after = rec(177, u32(1)) + rec(176, u32(0) + u32(1) + u32(0) + u32(2)) + rec(178, "") +
                              rec(161, u32(0) + u32(9) + u32(0) + u32(3)) + rec(162, "");
    Opened book = readFirstSheet(binaryPackage(sheetData(row(0), after)));
    ASSERT_TRUE(book.open) << book.open.description();
    const model::WorkbookInfo& info = book.reader->info();
    ASSERT_EQ(info.sheets.size(), 1u);
    EXPECT_EQ(info.sheets[0].name, "Data");
    EXPECT_EQ(info.sheets[0].visibility, model::Visibility::Hidden);
    EXPECT_TRUE(info.date1904);
    ASSERT_EQ(info.names.size(), 1u);
    EXPECT_EQ(info.names[0].name, "Here");
    EXPECT_EQ(info.names[0].sheet, 0);
    EXPECT_EQ(info.names[0].refersTo, "=Data!R3C2");
    ASSERT_TRUE(book.sheet) << book.sheet.description();
    ASSERT_EQ(book.sink.header.merges.size(), 1u);
    EXPECT_EQ(book.sink.header.merges[0].lastRow, 1u);
    EXPECT_EQ(book.sink.header.merges[0].lastCol, 2u);
    EXPECT_EQ(book.sink.options.autoFilterR1C1, "R1C1:R10C4");
}

TEST(XlsbWorkbook, SheetProtectionAndTabColour)
{
    // A palette tab colour (kind 1 in BrtColor's upper seven bits); the sheet and its objects protected, not its
    // scenarios, and the other thirteen options after them.
    std::string protection = u16(0) + u32(1) + u32(1) + u32(0);
    for (int i = 0; i < 13; ++i)
        protection += u32(1);
    const std::string properties = rec(147, std::string(3, '\0') + "\x03\x0A" + u16(0) + u32(0) + u32(0) + u32(0) +
                                                 wide(""));
    Opened book = readFirstSheet(binaryPackage(sheetData(row(0), properties + rec(535, protection))));
    ASSERT_TRUE(book.sheet) << book.sheet.description();
    EXPECT_EQ(book.sink.options.tabColorIndex, 10u);
    EXPECT_TRUE(book.sink.options.protectContents);
    EXPECT_TRUE(book.sink.options.protectObjects);
    EXPECT_FALSE(book.sink.options.protectScenarios);

    // An RGB tab colour has no palette index; a record cut short is refused.
    const std::string rgb = rec(147, std::string(3, '\0') + "\x05\x00" + u16(0) + "\x11\x22\x33\xFF");
    Opened other = readFirstSheet(binaryPackage(sheetData(row(0), rgb)));
    ASSERT_TRUE(other.sheet) << other.sheet.description();
    EXPECT_EQ(other.sink.options.tabColorIndex, 0u);
    EXPECT_FALSE(other.sink.options.protectContents);
    Opened cut = readFirstSheet(binaryPackage(sheetData(row(0), rec(535, u16(0) + u32(1)))));
    EXPECT_EQ(cut.sheet.code(), EngineErrc::DamagedFile);
}

TEST(XlsbWorkbook, NamesReferringToAnotherWorkbook)
{
    XlsxTestPackage package = binaryPackage(sheetData(row(0)));
    package.part("xl/_rels/workbook.bin.rels",
                 R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                 R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.bin"/>)"
                 R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/externalLink" Target="externalLinks/externalLink1.bin"/>)"
                 R"(</Relationships>)");
    package.part("xl/externalLinks/_rels/externalLink1.bin.rels",
                 R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
                 R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/externalLinkPath" Target="file:///C:\Docs\Book2.xlsx" TargetMode="External"/>)"
                 R"(</Relationships>)");
    package.part("xl/externalLinks/externalLink1.bin", "");
    // Book 0 is this one, book 1 Book2.xlsx with sheet "Prices" and the name "Rate"; reference 1 is its sheet.
    auto name = [](const std::string& text, std::string_view rgce) {
        return rec(39, u32(0) + std::string(1, '\0') + u32(0xFFFFFFFF) + wide(text) + formula(rgce) + u32(0xFFFFFFFF));
    };
    package.part("xl/workbook.bin",
                 rec(131, "") + rec(143, "") + rec(156, u32(0) + u32(1) + wide("rId1") + wide("Data")) + rec(144, "") +
                     rec(357, "") + rec(360, u16(0) + wide("rId3")) + rec(359, u32(1) + wide("Prices")) +
                     rec(361, wide("Rate")) + rec(362, u32(2) + u32(0) + u32(0) + u32(0) + u32(1) + u32(0) + u32(0)) +
                     name("Far", "3A 01 00 00 00 00 00 00 00") + name("Ext", "39 01 00 01 00 00 00") +
                     name("Gone", "39 01 00 02 00 00 00") + rec(132, ""));
    Opened book = readFirstSheet(package);
    ASSERT_TRUE(book.open) << book.open.description();
    const auto& names = book.reader->info().names;
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0].refersTo, "='C:\\Docs\\[Book2.xlsx]Prices'!R1C1");
    EXPECT_EQ(names[1].refersTo, "=Book2.xlsx!Rate");
    EXPECT_EQ(names[2].refersTo, "=#REF!"); // a name the other book does not list
}

TEST(XlsbDamaged, BrokenRecordStreamsAreRefused)
{
    struct Case
    {
        const char* what;
        std::string sheet;
        EngineErrc expected;
    };
    const Case cases[] = {
        {"cell record too short", sheetData(row(0) + rec(5, cell(0) + "\x01\x02")), EngineErrc::DamagedFile},
        {"record longer than the part", sheetData(row(0)) + hex("05 40 00 00"), EngineErrc::DamagedFile},
        {"record size past the cap", sheetData(row(0)) + hex("05 FF FF FF 7F"), EngineErrc::LimitExceeded},
        {"rows out of order", sheetData(row(5) + row(4)), EngineErrc::DamagedFile},
        {"column past the last", sheetData(row(0) + rec(1, cell(16384))), EngineErrc::DamagedFile},
        {"unknown shared string", sheetData(row(0) + rec(7, cell(0) + u32(1))), EngineErrc::DamagedFile},
        {"cell before any row", sheetData(rec(1, cell(0))), EngineErrc::DamagedFile},
        {"short cell after the last column", sheetData(row(0) + rec(1, cell(16383)) + rec(12, u32(0))),
         EngineErrc::DamagedFile},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        Opened book = readFirstSheet(binaryPackage(c.sheet));
        ASSERT_TRUE(book.open) << book.open.description();
        EXPECT_EQ(book.sheet.code(), c.expected) << book.sheet.description();
    }
}

TEST(XlsbDamaged, WorkbookWithoutSheetsIsRefused)
{
    XlsxTestPackage package = binaryPackage(sheetData(""));
    package.part("xl/workbook.bin", rec(131, "") + rec(39, u32(0)) + rec(132, ""));
    TempDir dir;
    const std::string path = dir.file("book.xlsb");
    ASSERT_TRUE(package.save(path));
    std::unique_ptr<model::WorkbookReader> reader;
    const Status status = openWorkbook(path, reader);
    EXPECT_EQ(status.code(), EngineErrc::DamagedFile);
    EXPECT_THAT(status.detail(), HasSubstr("workbook.bin"));
}

TEST(XlsbDamaged, OpeningStopsOnceTheTimeHasRunOut)
{
    TempDir dir;
    const std::string path = dir.file("book.xlsb");
    ASSERT_TRUE(binaryPackage(sheetData(row(0))).save(path));
    std::unique_ptr<model::WorkbookReader> reader;
    const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    EXPECT_EQ(openWorkbook(path, reader, past).code(), EngineErrc::Timeout);
    EXPECT_TRUE(openWorkbook(path, reader, std::chrono::steady_clock::now() + std::chrono::hours(1)));
}

TEST(XlsbTables, StructuredReferencesAsExcelWritesThem)
{
    const xlsb::BinaryTable table{7, "Sales", {"Region", "Q1", "Q[2]"}};
    // Flags: bits 0-1 which columns (all, one, a range), bits 2-6 which rows.
    EXPECT_EQ(xlsb::structuredReference(table, 0x0004, 0, 0), "Sales[#All]");
    EXPECT_EQ(xlsb::structuredReference(table, 0x0000, 0, 0), "Sales[]");
    EXPECT_EQ(xlsb::structuredReference(table, 0x0001, 1, 1), "Sales[Q1]");
    EXPECT_EQ(xlsb::structuredReference(table, 0x0002, 0, 2), "Sales[[Region]:[Q'[2']]]");
    EXPECT_EQ(xlsb::structuredReference(table, 0x0041, 1, 1), "Sales[[#This Row],[Q1]]");
    EXPECT_EQ(xlsb::structuredReference(table, 0x0018, 0, 0), "Sales[[#Headers],[#Data]]");
    EXPECT_EQ(xlsb::structuredReference(table, 0x0001, 3, 3), std::nullopt);
}
