// Record-level pieces of the .xls reader: RK numbers, strings across CONTINUE records, the record walker, globals.
#include "BiffBuilder.h"
#include "engine/xls/BiffStrings.h"
#include "engine/xls/RecordStream.h"
#include "engine/xls/SharedStringTable.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/XlsGlobals.h"
#include "engine/xls/XlsSheetReader.h"

#include <gtest/gtest.h>

namespace velquin::engine::xls {
namespace {

using test::Bytes;
using test::putU16;
using test::putU32;
using test::record;
using test::words;

TEST(RkNumber, DecodesIntegersDoublesAndHundredths)
{
    EXPECT_EQ(decodeRk((123u << 2) | 0x02), 123.0);
    EXPECT_EQ(decodeRk(static_cast<std::uint32_t>(-5 << 2) | 0x02), -5.0);
    EXPECT_DOUBLE_EQ(decodeRk((12345u << 2) | 0x03), 123.45);
    EXPECT_EQ(decodeRk(0x3FF00000u), 1.0);         // the high 30 bits of 1.0
    EXPECT_DOUBLE_EQ(decodeRk(0x3FF00001u), 0.01); // 1.0 / 100
    EXPECT_EQ(decodeRk(0xC0240000u), -10.0);
}

TEST(ErrorCodes, GiveExcelsTexts)
{
    EXPECT_EQ(errorText(0x07), "#DIV/0!");
    EXPECT_EQ(errorText(0x2A), "#N/A");
    EXPECT_EQ(errorText(0x1D), "#NAME?");
    EXPECT_EQ(errorText(0x99), "#N/A");
}

/// An SST record whose strings run across one CONTINUE boundary at `split`.
Record sstRecord(const Bytes& payload, std::size_t split)
{
    Record r;
    r.sid = sid::Sst;
    r.data = payload;
    r.continueStarts.push_back(split);
    return r;
}

TEST(SharedStrings, StringRunsIntoContinueWithNewOptionByte)
{
    Bytes p = words({0, 0, 2, 0}); // 0 total, 2 unique (32-bit fields)
    putU16(p, 6);
    p.push_back(0x00); // compressed
    p.insert(p.end(), {'a', 'b', 'c'});
    std::size_t split = p.size();
    p.push_back(0x01);                               // the CONTINUE restarts with its own option byte: now UTF-16
    p.insert(p.end(), {'d', 0, 'e', 0, 0x16, 0x04}); // "de" and CYRILLIC CAPITAL LETTER ZHE
    putU16(p, 1);
    p.push_back(0x00);
    p.push_back('z');
    SharedStringTable sst;
    ASSERT_TRUE(sst.parse(sstRecord(p, split), {}));
    ASSERT_EQ(sst.size(), 2u);
    EXPECT_EQ(sst.text(0), "abcde\xD0\x96");
    EXPECT_EQ(sst.text(1), "z");
}

TEST(SharedStrings, SkipsRichRunsAndPhoneticBlocksAndKeepsRuns)
{
    Bytes p = words({0, 0, 3, 0});
    putU16(p, 2);
    p.push_back(0x08); // rich text
    putU16(p, 1);
    p.insert(p.end(), {'x', 'y'});
    std::size_t split = p.size();    // a boundary between characters and runs: no option byte here
    p.insert(p.end(), {1, 0, 5, 0}); // run: from character 1, font 5
    putU16(p, 1);
    p.push_back(0x04); // phonetic block
    putU32(p, 3);
    p.push_back('p');
    p.insert(p.end(), {9, 9, 9});
    putU16(p, 1);
    p.push_back(0x00);
    p.push_back('q');
    SharedStringTable sst;
    std::vector<std::uint16_t> fontsAsked;
    ASSERT_TRUE(sst.parse(sstRecord(p, split), [&](std::uint16_t ifnt) {
        fontsAsked.push_back(ifnt);
        return model::TextRun::Font{};
    }));
    ASSERT_EQ(sst.size(), 3u);
    EXPECT_EQ(sst.text(0), "xy");
    ASSERT_EQ(sst.runs(0).size(), 2u);
    EXPECT_EQ(sst.runs(0)[0].text, "x");
    EXPECT_FALSE(sst.runs(0)[0].hasFont);
    EXPECT_EQ(sst.runs(0)[1].text, "y");
    EXPECT_TRUE(sst.runs(0)[1].hasFont);
    EXPECT_EQ(fontsAsked, std::vector<std::uint16_t>{5});
    EXPECT_EQ(sst.text(1), "p");
    EXPECT_EQ(sst.text(2), "q");
    EXPECT_TRUE(sst.runs(2).empty());
}

TEST(SharedStrings, CountLargerThanDataAndStringsPastTheEnd)
{
    Bytes p = words({0, 0, 0xFFFF, 0xFFFF}); // four billion strings announced
    putU16(p, 1);
    p.push_back(0);
    p.push_back('a');
    SharedStringTable sst;
    ASSERT_TRUE(sst.parse(sstRecord(p, p.size()), {}));
    EXPECT_EQ(sst.size(), 1u);
    EXPECT_EQ(sst.text(7), "");

    Bytes cut = words({0, 0, 1, 0});
    putU16(cut, 50); // 50 characters, 2 present
    cut.insert(cut.end(), {0, 'a', 'b'});
    SharedStringTable damaged;
    Status st = damaged.parse(sstRecord(cut, cut.size()), {});
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
}

TEST(RecordWalker, TruncatedRecordsNameTheRecordAndOffset)
{
    Bytes s;
    record(s, 0x0203, Bytes(14, 0));
    putU16(s, 0x0208);
    putU16(s, 16);
    s.insert(s.end(), 3, 0); // 16 announced, 3 present
    MemorySource source(s);
    RecordStream stream(source);
    Record r;
    ASSERT_TRUE(stream.next(r));
    EXPECT_EQ(r.sid, 0x0203);
    Status st = stream.next(r);
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
    EXPECT_NE(st.detail().find("0x0208"), std::string::npos) << st.detail();
    EXPECT_NE(st.detail().find("18"), std::string::npos) << st.detail();

    Bytes half = {0x03, 0x02};
    MemorySource halfSource(half);
    RecordStream halfStream(halfSource);
    EXPECT_EQ(halfStream.next(r).code(), EngineErrc::DamagedFile);
}

TEST(CodePages, Biff5BytesDecodeWithTheWorkbooksCodePage)
{
    CodepageDecoder cyrillic(1251);
    const std::uint8_t privet[] = {0xCF, 0xF0, 0xE8};
    EXPECT_EQ(cyrillic.decode(privet), "\xD0\x9F\xD1\x80\xD0\xB8");
    CodepageDecoder japanese(932);
    const std::uint8_t nihon[] = {0x93, 0xFA, 0x96, 0x7B};
    EXPECT_EQ(japanese.decode(nihon), "\xE6\x97\xA5\xE6\x9C\xAC");
    CodepageDecoder western(1252);
    const std::uint8_t euro[] = {0x80, 'x'};
    EXPECT_EQ(western.decode(euro), "\xE2\x82\xAC"
                                    "x");
    CodepageDecoder mac(10000);
    const std::uint8_t macE[] = {0x8E};
    EXPECT_EQ(mac.decode(macE), "\xC3\xA9");
}

Status parseGlobalsBytes(const Bytes& bytes, XlsGlobals& g)
{
    MemorySource source(bytes);
    RecordStream stream(source);
    CodepageDecoder decoder;
    return parseGlobals(stream, g, decoder);
}

TEST(Globals, SheetsNamesAndDateModeOfBiff8)
{
    Bytes s;
    record(s, sid::Bof, test::bof8(0x0005));
    record(s, sid::DateMode, words({1}));
    Bytes sheet = words({0x1234, 0});
    sheet.push_back(0x01); // hidden
    sheet.push_back(0x00); // worksheet
    sheet.push_back(6);
    sheet.push_back(0);
    for (char ch : std::string("Budget"))
        sheet.push_back(static_cast<std::uint8_t>(ch));
    record(s, sid::BoundSheet, sheet);
    // A built-in name (Print_Area, code 6) local to the first sheet.
    Bytes name = words({0x0020});
    name.push_back(0);
    name.push_back(1);                                 // one character
    test::putU16(name, 0);                             // no tokens
    name.insert(name.end(), {0, 0, 1, 0, 0, 0, 0, 0}); // ixals, itab = 1, four text lengths
    name.push_back(0);                                 // option byte
    name.push_back(0x06);
    record(s, sid::Name, name);
    record(s, sid::Eof, {});
    XlsGlobals g;
    ASSERT_TRUE(parseGlobalsBytes(s, g));
    EXPECT_TRUE(g.date1904);
    ASSERT_EQ(g.sheets.size(), 1u);
    EXPECT_EQ(g.sheets[0].name, "Budget");
    EXPECT_EQ(g.sheets[0].offset, 0x1234u);
    EXPECT_EQ(g.sheets[0].visibility, model::Visibility::Hidden);
    ASSERT_EQ(g.names.size(), 1u);
    EXPECT_EQ(g.names[0].name, "Print_Area");
    EXPECT_EQ(g.names[0].sheet, 0);
}

TEST(Globals, UserNamesThatAreCellsOfTheLargerGridTakeAnUnderscore)
{
    Bytes s;
    record(s, sid::Bof, test::bof8(0x0005));
    for (std::string text : {"AB100000", "xfd1", "Top10", "XFE1", "A1048577", "ABCD1", "Sales1x"})
    {
        Bytes name = words({0});
        name.push_back(0);
        name.push_back(static_cast<std::uint8_t>(text.size()));
        test::putU16(name, 0);
        name.insert(name.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0});
        name.insert(name.end(), text.begin(), text.end());
        record(s, sid::Name, name);
    }
    record(s, sid::Eof, {});
    XlsGlobals g;
    ASSERT_TRUE(parseGlobalsBytes(s, g));
    std::vector<std::string> names;
    for (const NameRecord& n : g.names)
        names.push_back(n.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"_AB100000", "_xfd1", "_Top10", "XFE1", "A1048577", "ABCD1", "Sales1x"}));
}

TEST(Globals, Biff5LocalNameFindsItsSheetThroughExternSheet)
{
    Bytes s;
    record(s, sid::Bof, words({0x0500, 0x0005, 0, 0}));
    record(s, sid::ExternSheet, {6, 0x03, 'S', 'h', 'e', 'e', 't', '1'});
    record(s, sid::ExternSheet, {6, 0x03, 'S', 'h', 'e', 'e', 't', '2'});
    // "Loc" local to the sheet of EXTERNSHEET 2, listed before the sheets themselves.
    Bytes name = words({0});
    name.push_back(0);
    name.push_back(3);
    test::putU16(name, 0);
    name.insert(name.end(), {2, 0, 1, 0, 0, 0, 0, 0, 'L', 'o', 'c'});
    record(s, sid::Name, name);
    for (const char* sheet : {"Sheet1", "Sheet2"})
    {
        Bytes b = words({0, 0, 0});
        b.push_back(6);
        b.insert(b.end(), sheet, sheet + 6);
        record(s, sid::BoundSheet, b);
    }
    record(s, sid::Eof, {});
    XlsGlobals g;
    ASSERT_TRUE(parseGlobalsBytes(s, g));
    ASSERT_EQ(g.names.size(), 1u);
    EXPECT_EQ(g.names[0].name, "Loc");
    EXPECT_EQ(g.names[0].sheet, 1);
    ASSERT_EQ(g.biff5ExternSheets.size(), 2u);
    EXPECT_EQ(g.biff5ExternSheets[1], "Sheet2");
}

TEST(Globals, NamesOfThisWorkbookThroughExternalReferencesKeepTheirSheet)
{
    // BIFF8: PtgNameX through this workbook's own SUPBOOK. A name local to a sheet reads "Sheet!Name" even when
    // the reference itself names no sheet; a workbook name stays bare.
    XlsGlobals g8;
    g8.biffVersion = 8;
    g8.sheets = {{"Data", 0}, {"My Sheet", 0}};
    g8.supBooks.emplace_back();
    g8.supBooks[0].kind = SupBook::Kind::Self;
    g8.xti = {{0, -2, -2}, {0, 0, 0}};
    g8.names.resize(2);
    g8.names[0].name = "Total";
    g8.names[1].name = "Local";
    g8.names[1].sheet = 1;
    const formula::FormulaContext c8 = makeFormulaContext(g8);
    EXPECT_EQ(c8.externalName(0, 1), "Total");
    EXPECT_EQ(c8.externalName(0, 2), "'My Sheet'!Local");
    EXPECT_EQ(c8.externalName(1, 1), "Data!Total");
    EXPECT_EQ(c8.externalName(0, 3), std::nullopt);

    // BIFF5: the index of this workbook's own EXTERNSHEET (a lone 0x04) comes negative, and the name index is
    // that of the NAME records.
    Bytes s;
    record(s, sid::Bof, words({0x0500, 0x0005, 0, 0}));
    record(s, sid::ExternSheet, {6, 0x03, 'S', 'h', 'e', 'e', 't', '1'});
    record(s, sid::ExternSheet, {1, 0x04});
    Bytes name = words({0});
    name.push_back(0);
    name.push_back(3);
    test::putU16(name, 0);
    name.insert(name.end(), {1, 0, 1, 0, 0, 0, 0, 0, 'L', 'o', 'c'});
    record(s, sid::Name, name);
    Bytes sheet = words({0, 0, 0});
    sheet.push_back(6);
    sheet.insert(sheet.end(), {'S', 'h', 'e', 'e', 't', '1'});
    record(s, sid::BoundSheet, sheet);
    record(s, sid::Eof, {});
    XlsGlobals g5;
    ASSERT_TRUE(parseGlobalsBytes(s, g5));
    const formula::FormulaContext c5 = makeFormulaContext(g5);
    EXPECT_EQ(c5.externalName(static_cast<std::uint32_t>(-2), 1), "Sheet1!Loc");
    EXPECT_EQ(c5.externalName(static_cast<std::uint32_t>(-2), 2), std::nullopt);
}

/// A SUPBOOK naming an external workbook (or DDE link) by its encoded path, and its sheets.
Bytes supBook(const std::string& path, std::initializer_list<std::string> sheets)
{
    std::string raw{static_cast<char>(sheets.size()), 0, static_cast<char>(path.size()), 0, 0};
    raw += path;
    for (const auto& sheet : sheets)
        raw += std::string{static_cast<char>(sheet.size()), 0, 0} + sheet;
    return Bytes(raw.begin(), raw.end());
}

TEST(Globals, ExternalBookPathsAndDdeLinksAsExcelWritesThem)
{
    Bytes s;
    record(s, sid::Bof, test::bof8(0x0005));
    record(s, sid::SupBook,
           supBook("\x01"
                   "CDocs\x03"
                   "Book2.xls",
                   {"Sheet1"})); // C:\Docs\Book2.xls
    record(s, sid::SupBook,
           supBook("\x01@srv\x03share\x03"
                   "B.xls",
                   {"S 1"})); // \\srv\share\B.xls
    record(s, sid::SupBook,
           supBook("\x04\x04"
                   "Up.xls",
                   {"S"})); // ..\..\Up.xls
    record(s, sid::SupBook,
           supBook("\x05\x13"
                   "http://h/d/Web.xls",
                   {"S"}));                                  // a URL
    record(s, sid::SupBook, supBook("Server\x03Topic", {})); // a DDE link
    for (const std::string item : {"item,with,commas", "R1C1"})
        record(s, sid::ExternName,
               test::cat({words({0, 0, 0}), Bytes{static_cast<std::uint8_t>(item.size()), 0},
                          Bytes(item.begin(), item.end())}));
    record(s, sid::ExternSheet, words({5, 0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0xFFFE, 0xFFFE}));
    record(s, sid::Eof, {});
    XlsGlobals g;
    ASSERT_TRUE(parseGlobalsBytes(s, g));
    const formula::FormulaContext c = makeFormulaContext(g);
    EXPECT_EQ(c.sheetPrefix(0), "'C:\\Docs\\[Book2.xls]Sheet1'");
    EXPECT_EQ(c.sheetPrefix(1), "'\\\\srv\\share\\[B.xls]S 1'");
    EXPECT_EQ(c.sheetPrefix(2), "'..\\..\\[Up.xls]S'");
    EXPECT_EQ(c.sheetPrefix(3), "'http://h/d/[Web.xls]S'");
    EXPECT_EQ(c.externalName(4, 1), "Server|Topic!'item,with,commas'");
    EXPECT_EQ(c.externalName(4, 2), "Server|Topic!R1C1");
}

TEST(Globals, EncryptedOldAndDamagedWorkbooksGiveClearErrors)
{
    Bytes encrypted;
    record(encrypted, sid::Bof, test::bof8(0x0005));
    record(encrypted, sid::FilePass, words({1, 1, 1}));
    record(encrypted, sid::Eof, {});
    XlsGlobals g1;
    EXPECT_EQ(parseGlobalsBytes(encrypted, g1).code(), EngineErrc::EncryptedWorkbook);

    Bytes biff4;
    record(biff4, sid::Bof4, words({0, 0x0040, 0})); // an Excel 4.0 macro sheet
    XlsGlobals g2;
    EXPECT_EQ(parseGlobalsBytes(biff4, g2).code(), EngineErrc::UnsupportedFormat);

    Bytes noEof;
    record(noEof, sid::Bof, test::bof8(0x0005));
    record(noEof, sid::DateMode, words({0}));
    XlsGlobals g3;
    EXPECT_EQ(parseGlobalsBytes(noEof, g3).code(), EngineErrc::DamagedFile);

    Bytes cutBof = {0x09, 0x08, 0x10, 0x00, 0x00, 0x06}; // BOF announcing 16 bytes, 2 there
    XlsGlobals g5;
    EXPECT_EQ(parseGlobalsBytes(cutBof, g5).code(), EngineErrc::DamagedFile);

    Bytes notBiff = {'P', 'K', 3, 4, 0, 0, 0, 0};
    XlsGlobals g4;
    EXPECT_EQ(parseGlobalsBytes(notBiff, g4).code(), EngineErrc::NotAWorkbook);
}

TEST(SheetNames, QuotedWhenFormulaTextNeedsIt)
{
    EXPECT_EQ(quoteSheetName("Sheet1"), "Sheet1");
    EXPECT_EQ(quoteSheetName("Named Ranges"), "'Named Ranges'");
    EXPECT_EQ(quoteSheetName("O'Brien"), "'O''Brien'");
    // R1C1 text: an A1 cell name is plain, an R1C1 reference is not.
    EXPECT_EQ(quoteSheetName("Q3"), "Q3");
    EXPECT_EQ(quoteSheetName("IV65536"), "IV65536");
    EXPECT_EQ(quoteSheetName("R1C1"), "'R1C1'");
    EXPECT_EQ(quoteSheetName("RC"), "'RC'");
    EXPECT_EQ(quoteSheetName("r"), "'r'");
    EXPECT_EQ(quoteSheetName("C5"), "'C5'");
    EXPECT_EQ(quoteSheetName("RC5x"), "RC5x");
    EXPECT_EQ(quoteSheetName("Sheet2:Sheet3"), "Sheet2:Sheet3");
    EXPECT_EQ(quoteSheetName("Sheet2:R2"), "'Sheet2:R2'");
    EXPECT_EQ(quoteSheetName("Sheet 2:Sheet3"), "'Sheet 2:Sheet3'");
    EXPECT_EQ(quoteSheetName("1st"), "'1st'");
    EXPECT_EQ(quoteSheetName("\xE6\x97\xA5\xE6\x9C\xAC"), "\xE6\x97\xA5\xE6\x9C\xAC");
}

} // namespace
} // namespace velquin::engine::xls
