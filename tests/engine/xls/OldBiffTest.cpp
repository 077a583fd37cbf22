// Excel 2.x, 3.x and 4.x worksheets: bare record streams whose layouts differ from Excel 5.0's.
#include "BiffBuilder.h"
#include "engine/model/DifferentialStyle.h"
#include "engine/xls/XlsReader.h"
#include "engine/xls/formula/FormulaDecompiler.h"
#include "tests/support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

namespace velquin::engine::xls {
namespace {

using test::Bytes;
using test::cat;
using test::record;
using test::words;

Bytes byteString(const std::string& text)
{
    Bytes b;
    b.push_back(static_cast<std::uint8_t>(text.size()));
    for (char ch : text)
        b.push_back(static_cast<std::uint8_t>(ch));
    return b;
}

Bytes doubleBytes(double value)
{
    Bytes b(8);
    std::memcpy(b.data(), &value, 8);
    return b;
}

/// Row, column and BIFF2's three bytes of cell formatting.
Bytes cell2(std::uint16_t row, std::uint16_t col, std::uint8_t a0, std::uint8_t a1, std::uint8_t a2)
{
    return cat({words({row, col}), Bytes{a0, a1, a2}});
}

struct Opened
{
    Status status;
    std::unique_ptr<model::WorkbookReader> reader;
    test::BiffRecordingSink sink;
};

Opened openAndRead(const test::TempDir& dir, const std::string& name, const Bytes& bytes)
{
    Opened o;
    const std::string path = dir.write(name, std::string(bytes.begin(), bytes.end()));
    o.status = openBiff4OrOlder(path, o.reader);
    if (o.status)
        o.status = o.reader->readSheet(0, o.sink);
    return o;
}

const test::BiffRecordingSink::CellCopy* cellAt(const test::BiffRecordingSink& sink, std::uint32_t row,
                                                 std::uint32_t col)
{
    for (const auto& c : sink.cells)
        if (c.row == row && c.col == col)
            return &c;
    return nullptr;
}

TEST(OldBiff, Excel2WorksheetKeepsFormattingInEachCell)
{
    Bytes s;
    record(s, 0x0009, words({2, 0x0010}));
    record(s, 0x0031, cat({words({200, 0}), byteString("Arial")}));
    record(s, 0x0031, cat({words({240, 1}), byteString("Arial")})); // bold 12 pt
    record(s, 0x0018, cat({Bytes{0, 0, 4, 3}, Bytes{'R', 'a', 't', 'e'}, Bytes{0x1E, 5, 0}}));
    record(s, 0x001E, byteString("General"));
    record(s, 0x001E, byteString("0.00"));
    record(s, 0x001E, byteString("m/d/yy"));
    record(s, 0x0024, Bytes{1, 1, 0x00, 0x0A});                                   // column B, 10 characters
    record(s, 0x0008, cat({words({0, 0, 2, 400, 0}), Bytes{0}, words({0})}));     // row 1, 20 pt
    record(s, 0x0003, cat({cell2(0, 0, 0x40, 0x01 | 1 << 6, 0x02), doubleBytes(1.5)})); // 0.00, bold, centred
    record(s, 0x0002, cat({cell2(0, 1, 0x40, 0, 0x08), words({7})}));             // left border
    record(s, 0x0004, cat({cell2(1, 0, 0x40, 0x02, 0), byteString("hi")}));        // m/d/yy
    record(s, 0x0005, cat({cell2(1, 1, 0x00, 0, 0), Bytes{1, 0}}));                 // unlocked TRUE
    // =ABS(Rate): tName keeps five unused bytes, tFunc a one-byte function number.
    const Bytes tokens{0x23, 1, 0, 0, 0, 0, 0, 0, 0x41, 24};
    record(s, 0x0006, cat({cell2(2, 0, 0x40, 0, 0), doubleBytes(5), Bytes{0, static_cast<std::uint8_t>(tokens.size())},
                           tokens}));
    // Gridlines, headings and zeros shown: a byte each, and no flag for the selected sheet.
    record(s, 0x003E, cat({Bytes{0, 1, 1, 0, 1}, words({0, 0}), Bytes{1}, Bytes{0, 0, 0, 0}}));
    record(s, 0x000A, {});

    test::TempDir dir;
    Opened o = openAndRead(dir, "Ledger 1990.xls", s);
    ASSERT_TRUE(o.status) << o.status.description();
    const auto& info = o.reader->info();
    EXPECT_EQ(o.sink.header.name, "Ledger 1990");
    ASSERT_EQ(info.names.size(), 1u);
    EXPECT_EQ(info.names[0].refersTo, "=5");

    auto styleOf = [&](const test::BiffRecordingSink::CellCopy* c) -> const model::CellStyle& {
        return info.cellStyles.at(static_cast<std::size_t>(c->style));
    };
    const auto* a1 = cellAt(o.sink, 0, 0);
    ASSERT_TRUE(a1);
    EXPECT_EQ(a1->number, 1.5);
    EXPECT_EQ(styleOf(a1).numberFormat, "0.00");
    EXPECT_EQ(styleOf(a1).numberFormatId, -1); // the file's own list, not the built-in numbering
    EXPECT_TRUE(styleOf(a1).font.bold);
    EXPECT_EQ(styleOf(a1).font.size, 12);
    const auto* b1 = cellAt(o.sink, 0, 1);
    ASSERT_TRUE(b1);
    EXPECT_EQ(b1->number, 7);
    EXPECT_EQ(styleOf(b1).numberFormat, "General");
    const auto* a2 = cellAt(o.sink, 1, 0);
    ASSERT_TRUE(a2);
    EXPECT_EQ(a2->text, "hi");
    EXPECT_EQ(styleOf(a2).numberFormat, "m/d/yy");
    const auto* b2 = cellAt(o.sink, 1, 1);
    ASSERT_TRUE(b2);
    EXPECT_TRUE(b2->boolean);
    EXPECT_NE(styleOf(b2).protection, styleOf(a1).protection);
    const auto* a3 = cellAt(o.sink, 2, 0);
    ASSERT_TRUE(a3);
    EXPECT_EQ(a3->formula, "=ABS(Rate)");
    EXPECT_NE(a1->style, b1->style);

    ASSERT_FALSE(o.sink.rows.empty());
    EXPECT_EQ(o.sink.rows[0].height, 20);
    ASSERT_EQ(o.sink.header.columns.size(), 1u);
    EXPECT_EQ(o.sink.header.columns[0].first, 1u);
    EXPECT_TRUE(o.sink.options.selected);
}

/// A one-cell BIFF3 or BIFF4 worksheet whose formula is =ABS(4) in that version's layout.
Bytes excel3Or4Worksheet(int version)
{
    Bytes s;
    record(s, version == 3 ? 0x0209 : 0x0409, words({0, 0x0010, 0}));
    record(s, 0x0231, cat({words({200, 0, 0x7FFF}), byteString("Arial")}));
    if (version == 3)
    {
        record(s, 0x0243, cat({Bytes{0, 0, 0x05, 0}, words({0xFFF0, 0}), words({0, 0})}));
        record(s, 0x0243, cat({Bytes{0, 0, 0x01, 0xFC}, words({0x0008, 0}), words({0, 0})})); // wrap
    }
    else
    {
        record(s, 0x0443, cat({Bytes{0, 0}, words({0xFFF5}), Bytes{0x20, 0}, words({0, 0, 0})}));
        // wrap, centred vertically, turned 90 degrees; a red thin top border (colour 2 in five bits)
        record(s, 0x0443, cat({Bytes{0, 0}, words({0x0001}), Bytes{0x08 | 1 << 4 | 2 << 6, 0xFC}, words({0}),
                               words({1 | 2 << 3, 0})}));
    }
    const Bytes tokens = version == 3 ? Bytes{0x1E, 4, 0, 0x41, 24} : Bytes{0x1E, 4, 0, 0x41, 24, 0};
    // No four unused bytes between the flags and the token count, unlike Excel 5.0.
    record(s, version == 3 ? 0x0206 : 0x0406,
           cat({words({0, 0, 1}), doubleBytes(4), words({0, static_cast<std::uint16_t>(tokens.size())}), tokens}));
    record(s, 0x000A, {});
    return s;
}

TEST(OldBiff, Excel3And4FormulasAndCellFormats)
{
    test::TempDir dir;
    for (int version : {3, 4})
    {
        Opened o = openAndRead(dir, "v" + std::to_string(version) + ".xls", excel3Or4Worksheet(version));
        ASSERT_TRUE(o.status) << version << ": " << o.status.description();
        ASSERT_EQ(o.sink.cells.size(), 1u) << version;
        EXPECT_EQ(o.sink.cells[0].formula, "=ABS(4)") << version;
        EXPECT_EQ(o.sink.cells[0].number, 4) << version;
        const auto& style = o.reader->info().cellStyles.at(static_cast<std::size_t>(o.sink.cells[0].style));
        EXPECT_TRUE(style.alignment.wrapText) << version;
        if (version == 4)
        {
            EXPECT_EQ(style.alignment.rotate, 90);
            EXPECT_EQ(style.borders.top.weight, 1);
            ASSERT_TRUE(style.borders.top.color);
            EXPECT_EQ(model::hexColor(*style.borders.top.color), "#FF0000");
        }
    }
}

TEST(OldBiff, FormulaTokensOfEachVersion)
{
    auto text = [](int version, Bytes rgce) {
        formula::FormulaContext ctx;
        ctx.biffVersion = version;
        ctx.definedName = [](std::uint32_t i) { return std::optional<std::string>("N" + std::to_string(i)); };
        auto r = formula::decompile(rgce, {}, ctx);
        return r.status ? r.text : "error: " + r.status.description();
    };
    // tName: 5, 8 and 12 unused bytes after the index; then PtgInt 1 and PtgAdd.
    EXPECT_EQ(text(2, {0x23, 2, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0, 0x03}), "=N2+1");
    EXPECT_EQ(text(3, {0x23, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0, 0x03}), "=N2+1");
    EXPECT_EQ(text(5, {0x23, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x1E, 1, 0, 0x03}), "=N2+1");
    // tFuncVar SUM with two arguments: a one-byte function number until Excel 4.0.
    EXPECT_EQ(text(3, {0x1E, 1, 0, 0x1E, 2, 0, 0x42, 2, 4}), "=SUM(1,2)");
    EXPECT_EQ(text(4, {0x1E, 1, 0, 0x1E, 2, 0, 0x42, 2, 4, 0}), "=SUM(1,2)");
    // tAttrSum with Excel 2.x's one-byte data, after a reference to B2.
    EXPECT_EQ(text(2, {0x44, 1, 0, 1, 0x19, 0x10, 0}), "=SUM(R2C2)");
    // An Excel 2.x anchor of an array formula keeps its column in one byte.
    formula::FormulaContext ctx;
    ctx.biffVersion = 2;
    auto anchor = formula::decompile(Bytes{0x01, 3, 0, 2}, {}, ctx);
    ASSERT_TRUE(anchor.anchor);
    EXPECT_EQ(*anchor.anchor, std::make_pair(3u, 2u));
}

TEST(OldBiff, DamagedAndUnsupportedStreamsGiveClearErrors)
{
    test::TempDir dir;
    Bytes cut = excel3Or4Worksheet(4);
    cut.resize(cut.size() - 10);
    EXPECT_EQ(openAndRead(dir, "cut.xls", cut).status.code(), EngineErrc::DamagedFile);

    // Records too short for their own layout are passed over, not read past their end.
    Bytes shortRecords;
    record(shortRecords, 0x0009, words({2, 0x0010}));
    for (std::uint16_t sidValue : {0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x0021, 0x0024,
                                   0x0025, 0x003E})
        record(shortRecords, sidValue, Bytes{0, 0, 0});
    record(shortRecords, 0x000A, {});
    Opened o = openAndRead(dir, "short.xls", shortRecords);
    EXPECT_TRUE(o.status || o.status.code() == EngineErrc::DamagedFile) << o.status.description();

    Bytes chart;
    record(chart, 0x0409, words({0, 0x0020, 0}));
    record(chart, 0x000A, {});
    EXPECT_EQ(openAndRead(dir, "chart.xls", chart).status.code(), EngineErrc::UnsupportedFormat);
}

/// One worksheet of an Excel 4.0 workbook with its own font, number formats and a local name; A1 holds 0.25 in a
/// cell XF that takes the sheet's second format.
Bytes bundledWorksheet(const std::string& font, bool bold, const std::string& secondFormat)
{
    Bytes s;
    record(s, 0x0409, words({0, 0x0010, 0}));
    record(s, 0x0231, cat({words({200, bold ? 1u : 0u, 0x7FFF}), byteString(font)}));
    record(s, 0x041E, cat({words({0}), byteString("General")}));
    record(s, 0x041E, cat({words({0}), byteString(secondFormat)}));
    record(s, 0x0443, cat({Bytes{0, 0}, words({0xFFF5}), Bytes{0x20, 0}, words({0, 0, 0})}));
    record(s, 0x0443, cat({Bytes{0, 1}, words({0x0001}), Bytes{0x20, 0xFC}, words({0, 0, 0})}));
    record(s, 0x0218, cat({words({0}), Bytes{0, 4}, words({3}), Bytes{'R', 'a', 't', 'e'}, Bytes{0x1E, 5, 0}}));
    record(s, 0x0203, cat({words({0, 0, 1}), doubleBytes(0.25)}));
    record(s, 0x023E, words({0x00B6, 0, 0, 0, 0}));
    record(s, 0x000A, {});
    return s;
}

/// SHEETHEADER: the extent of the sheet that follows, and its name.
void sheetHeader(Bytes& s, const Bytes& sheet, const std::string& name)
{
    record(s, 0x008F, cat({words({static_cast<std::uint32_t>(sheet.size()), 0}), byteString(name)}));
    s.insert(s.end(), sheet.begin(), sheet.end());
}

/// Two worksheets around a chart, before the globals' EOF as the format has them or, leniently read, after it.
Bytes excel4Workbook(bool eofFirst)
{
    Bytes chart;
    record(chart, 0x0409, words({0, 0x0020, 0}));
    record(chart, 0x000A, {});
    Bytes s;
    record(s, 0x0409, words({0, 0x0100, 0}));
    record(s, 0x003D, words({10, 20, 3000, 2000, 0}));
    if (eofFirst)
        record(s, 0x000A, {});
    sheetHeader(s, bundledWorksheet("Arial", true, "0.00"), "Prices");
    sheetHeader(s, chart, "Chart1");
    sheetHeader(s, bundledWorksheet("Courier", false, "0%"), "Notes");
    if (!eofFirst)
        record(s, 0x000A, {});
    return s;
}

TEST(OldBiff, Excel4WorkbookReadsEachBundledSheetWithItsOwnFormats)
{
    test::TempDir dir;
    for (bool eofFirst : {false, true})
    {
        const Bytes bytes = excel4Workbook(eofFirst);
        const std::string path = dir.write("book.xlw", std::string(bytes.begin(), bytes.end()));
        std::unique_ptr<model::WorkbookReader> reader;
        ASSERT_TRUE(openBiff4OrOlder(path, reader)) << eofFirst;
        const auto& info = reader->info();
        ASSERT_EQ(info.sheets.size(), 3u);
        EXPECT_EQ(info.sheets[0].name, "Prices");
        EXPECT_EQ(info.sheets[1].kind, model::SheetKind::Chart);
        EXPECT_EQ(info.sheets[2].name, "Notes");
        EXPECT_EQ(info.activeSheet, 0);
        EXPECT_EQ(info.windowWidth, 3000);
        ASSERT_EQ(info.names.size(), 2u); // each sheet's "Rate", local to it
        EXPECT_EQ(info.names[0].sheet, 0);
        EXPECT_EQ(info.names[1].sheet, 2);
        EXPECT_EQ(info.namedStyles.size(), 1u);

        test::BiffRecordingSink prices, chart, notes;
        ASSERT_TRUE(reader->readSheet(0, prices));
        ASSERT_TRUE(reader->readSheet(1, chart));
        ASSERT_TRUE(reader->readSheet(2, notes));
        EXPECT_FALSE(chart.ended);
        EXPECT_EQ(notes.header.index, 2);
        EXPECT_EQ(notes.header.name, "Notes");
        EXPECT_TRUE(prices.options.selected);
        EXPECT_FALSE(notes.options.selected);
        ASSERT_EQ(prices.cells.size(), 1u);
        ASSERT_EQ(notes.cells.size(), 1u);
        // Both cells name XF 1 of their own sheet.
        ASSERT_NE(prices.cells[0].style, notes.cells[0].style);
        const auto& first = info.cellStyles.at(static_cast<std::size_t>(prices.cells[0].style));
        const auto& second = info.cellStyles.at(static_cast<std::size_t>(notes.cells[0].style));
        EXPECT_EQ(first.numberFormat, "0.00");
        EXPECT_EQ(first.font.name, "Arial");
        EXPECT_TRUE(first.font.bold);
        EXPECT_EQ(second.numberFormat, "0%");
        EXPECT_EQ(second.font.name, "Courier");
        EXPECT_FALSE(second.font.bold);
        EXPECT_EQ(second.parentStyle, 0);
    }
}

TEST(OldBiff, DamagedExcel4WorkbooksGiveClearErrors)
{
    test::TempDir dir;
    auto open = [&](const Bytes& bytes) {
        const std::string path = dir.write("bad.xlw", std::string(bytes.begin(), bytes.end()));
        std::unique_ptr<model::WorkbookReader> reader;
        return openBiff4OrOlder(path, reader).code();
    };
    const Bytes good = excel4Workbook(false);
    Bytes cut = good;
    cut.resize(cut.size() - 20); // inside the last sheet
    EXPECT_EQ(open(cut), EngineErrc::DamagedFile);

    auto workbookWith = [](const Bytes& header, const Bytes& after) {
        Bytes s;
        record(s, 0x0409, words({0, 0x0100, 0}));
        record(s, 0x008F, header);
        s.insert(s.end(), after.begin(), after.end());
        record(s, 0x000A, {});
        return s;
    };
    const Bytes sheet = bundledWorksheet("Arial", false, "0");
    EXPECT_EQ(open(workbookWith(cat({words({0xFFFFFF, 0}), byteString("Far")}), sheet)), EngineErrc::DamagedFile);
    Bytes noBof;
    record(noBof, 0x0203, cat({words({0, 0, 0}), doubleBytes(1)}));
    EXPECT_EQ(open(workbookWith(cat({words({14, 0}), byteString("S")}), noBof)), EngineErrc::DamagedFile);
    Bytes nested;
    record(nested, 0x0409, words({0, 0x0100, 0}));
    record(nested, 0x000A, {});
    EXPECT_EQ(open(workbookWith(cat({words({8, 0}), byteString("S")}), nested)), EngineErrc::DamagedFile);
    EXPECT_EQ(open(workbookWith(cat({words({0, 0})}), sheet)), EngineErrc::DamagedFile); // name cut off

    Bytes many;
    record(many, 0x0409, words({0, 0x0100, 0}));
    Bytes chart;
    record(chart, 0x0409, words({0, 0x0020, 0}));
    record(chart, 0x000A, {});
    for (int i = 0; i <= 4096; ++i)
        sheetHeader(many, chart, "C");
    record(many, 0x000A, {});
    EXPECT_EQ(open(many), EngineErrc::LimitExceeded);
}

TEST(OldBiff, CorpusWorksheetsOfEachVersionConvert)
{
    VELQUIN_REQUIRE_CORPUS();
    const auto sources = test::corpusSources({"xls-biff2", "xls-biff3", "xls-biff4"});
    ASSERT_FALSE(sources.empty());
    for (const auto& path : sources)
    {
        std::unique_ptr<model::WorkbookReader> reader;
        ASSERT_TRUE(openBiff4OrOlder(path.string(), reader)) << path;
        test::BiffRecordingSink sink;
        ASSERT_TRUE(reader->readSheet(0, sink)) << path;
        const auto* formulaCell = cellAt(sink, 1, 1);
        ASSERT_TRUE(formulaCell) << path;
        EXPECT_EQ(formulaCell->formula, "=\"abc\"&CHAR(13)&CHAR(10)&\"def\"") << path;
        EXPECT_EQ(formulaCell->text, "abc\r\ndef") << path;
    }
}

} // namespace
} // namespace velquin::engine::xls
