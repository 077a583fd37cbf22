// Worksheet substreams built from record bytes, read through a recording sink.
#include "engine/xls/XlsSheetReader.h"

#include "BiffBuilder.h"

#include <array>
#include <gtest/gtest.h>

namespace velquin::engine::xls {
namespace {

using test::Bytes;
using test::cat;
using test::putU16;
using test::putU32;
using test::record;
using test::words;

class SheetStream : public ::testing::Test
{
protected:
    SheetStream()
    {
        m_globals.sheets.push_back({"Sheet1", 0, model::SheetKind::Worksheet, model::Visibility::Visible});
        record(m_bytes, sid::Bof, test::bof8(0x0010));
    }

    Status read(std::size_t styles = 16)
    {
        record(m_bytes, sid::Eof, {});
        MemorySource source(m_bytes);
        RecordStream stream(source);
        CodepageDecoder decoder;
        XlsSheetReader reader(m_globals, stream, decoder, styles);
        return reader.read(0, m_sink);
    }

    void add(std::uint16_t sidValue, const Bytes& payload) { record(m_bytes, sidValue, payload); }

    static Bytes number(std::uint32_t row, std::uint32_t col, double value)
    {
        Bytes b = words({row, col, 15});
        auto bits = std::bit_cast<std::uint64_t>(value);
        putU32(b, static_cast<std::uint32_t>(bits));
        putU32(b, static_cast<std::uint32_t>(bits >> 32));
        return b;
    }

    /// A FORMULA record with a cached value of 8 bytes and the given tokens.
    static Bytes formula(std::uint32_t row, std::uint32_t col, const Bytes& cached, const Bytes& rgce)
    {
        Bytes b = words({row, col, 15});
        b.insert(b.end(), cached.begin(), cached.end());
        b.insert(b.end(), {0, 0, 0, 0, 0, 0});
        putU16(b, static_cast<std::uint32_t>(rgce.size()));
        b.insert(b.end(), rgce.begin(), rgce.end());
        return b;
    }

    XlsGlobals m_globals;
    Bytes m_bytes;
    test::BiffRecordingSink m_sink;
};

TEST_F(SheetStream, CellRecordsOfEveryKindInRowMajorOrder)
{
    add(sid::Row, words({2, 0, 3, 600, 0, 0, 0x0140, 15})); // row 3: 30 pt, custom height
    add(sid::Number, number(2, 1, 2.5));
    add(sid::Number, number(2, 0, 1.5)); // out of column order: must still come first
    Bytes mulrk = words({3, 1});
    putU16(mulrk, 17);
    putU32(mulrk, (7u << 2) | 2);
    putU16(mulrk, 18);
    putU32(mulrk, 0x3FF00000u);
    putU16(mulrk, 2); // last column
    add(sid::MulRk, mulrk);
    add(sid::BoolErr, cat({words({4, 0, 15}), Bytes{0x07, 1}}));
    add(sid::BoolErr, cat({words({4, 1, 15}), Bytes{1, 0}}));
    add(sid::Label, cat({words({5, 0, 15}), test::xlString("hello")}));
    add(sid::MulBlank, words({6, 0, 20, 21, 1}));
    add(sid::Blank, words({7, 0, 999})); // an XF that does not exist: default style
    ASSERT_TRUE(read(32));

    ASSERT_TRUE(m_sink.ended);
    auto& c = m_sink.cells;
    ASSERT_EQ(c.size(), 10u);
    EXPECT_EQ(c[0].row, 2u);
    EXPECT_EQ(c[0].col, 0u);
    EXPECT_EQ(c[0].number, 1.5);
    EXPECT_EQ(c[1].number, 2.5);
    EXPECT_EQ(c[2].number, 7.0);
    EXPECT_EQ(c[2].style, 17);
    EXPECT_EQ(c[3].number, 1.0);
    EXPECT_EQ(c[3].col, 2u);
    EXPECT_EQ(c[4].type, model::CellType::Error);
    EXPECT_EQ(c[4].text, "#DIV/0!");
    EXPECT_EQ(c[5].type, model::CellType::Boolean);
    EXPECT_TRUE(c[5].boolean);
    EXPECT_EQ(c[6].text, "hello");
    EXPECT_EQ(c[7].type, model::CellType::Blank);
    EXPECT_EQ(c[7].style, 20);
    EXPECT_EQ(c[8].style, 21);
    EXPECT_EQ(c[9].style, -1);

    // One row() per row, before its cells; the formatted row keeps its height.
    ASSERT_EQ(m_sink.rows.size(), 6u);
    EXPECT_EQ(m_sink.rows[0].row, 2u);
    EXPECT_EQ(m_sink.rows[0].height, 30.0);
    EXPECT_TRUE(m_sink.rows[0].customHeight);
    for (std::size_t i = 1; i < m_sink.rows.size(); ++i)
        EXPECT_LT(m_sink.rows[i - 1].row, m_sink.rows[i].row);
}

TEST_F(SheetStream, FormattedEmptyRowsAndDuplicateCells)
{
    add(sid::Row, words({0, 0, 0, 255, 0, 0, 0x0020, 15})); // hidden, empty
    add(sid::Row, words({4, 0, 0, 255, 0, 0, 0x0000, 15})); // plain, empty: not written
    add(sid::Number, number(1, 0, 1));
    add(sid::Number, number(1, 0, 2)); // the later record wins
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.rows.size(), 2u);
    EXPECT_EQ(m_sink.rows[0].row, 0u);
    EXPECT_TRUE(m_sink.rows[0].hidden);
    EXPECT_EQ(m_sink.rows[1].row, 1u);
    ASSERT_EQ(m_sink.cells.size(), 1u);
    EXPECT_EQ(m_sink.cells[0].number, 2.0);
}

TEST_F(SheetStream, FormulaResultsAndSharedFormulas)
{
    const Bytes stringResult = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    const Bytes errorResult = {2, 0, 0x2A, 0, 0, 0, 0xFF, 0xFF};
    const Bytes boolResult = {1, 0, 1, 0, 0, 0, 0xFF, 0xFF};
    auto three = std::bit_cast<std::uint64_t>(3.0);
    Bytes numberResult;
    putU32(numberResult, static_cast<std::uint32_t>(three));
    putU32(numberResult, static_cast<std::uint32_t>(three >> 32));

    add(sid::Formula, formula(0, 0, numberResult, {0x1E, 0x03, 0x00})); // =3
    add(sid::Formula, formula(0, 1, stringResult, {0x1E, 0x04, 0x00}));
    add(sid::String, test::xlString("text result"));
    add(sid::Formula, formula(0, 2, errorResult, {0x1E, 0x05, 0x00}));
    add(sid::Formula, formula(0, 3, boolResult, {0x1E, 0x06, 0x00}));
    // Two cells sharing "one row up": PtgExp to the first, SHRFMLA with PtgRefN after it.
    add(sid::Formula, formula(1, 0, numberResult, {0x01, 1, 0, 0, 0}));
    Bytes shr = words({1, 1});
    shr.insert(shr.end(), {0, 1, 0, 2});
    putU16(shr, 5);
    shr.insert(shr.end(), {0x2C, 0xFF, 0xFF, 0x00, 0xC0});
    add(sid::ShrFmla, shr);
    add(sid::Formula, formula(1, 1, numberResult, {0x01, 1, 0, 0, 0}));
    add(sid::Formula, formula(2, 0, numberResult, {0xFF, 0xFF, 0xFF})); // tokens that make no sense
    ASSERT_TRUE(read());

    auto& c = m_sink.cells;
    ASSERT_EQ(c.size(), 7u);
    EXPECT_EQ(c[0].formula, "=3");
    EXPECT_EQ(c[0].number, 3.0);
    EXPECT_EQ(c[1].type, model::CellType::String);
    EXPECT_EQ(c[1].text, "text result");
    EXPECT_EQ(c[2].type, model::CellType::Error);
    EXPECT_EQ(c[2].text, "#N/A");
    EXPECT_EQ(c[3].type, model::CellType::Boolean);
    EXPECT_EQ(c[4].formula, "=R[-1]C");
    EXPECT_EQ(c[5].formula, "=R[-1]C");
    // A formula that cannot be read keeps its value and loses only the formula.
    EXPECT_EQ(c[6].formula, "");
    EXPECT_EQ(c[6].number, 3.0);
}

TEST_F(SheetStream, FormulaUnderTheBiff4RecordNumberAndFrozenWindowWithoutPane)
{
    // A BIFF8 FORMULA stored as 0x0406, with its STRING result; a WINDOW2 with fFrozen and no PANE after it.
    add(sid::Formula4, formula(0, 0, {0, 0, 0, 0, 0, 0, 0xFF, 0xFF}, {0x17, 2, 0, 'o', 'k'})); // ="ok"
    add(sid::String, test::xlString("ok"));
    add(sid::Window2, words({0x06BE | 0x0008, 0, 0, 0x40, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.cells.size(), 1u);
    EXPECT_EQ(m_sink.cells[0].formula, "=\"ok\"");
    EXPECT_EQ(m_sink.cells[0].text, "ok");
    EXPECT_EQ(m_sink.options.paneKind, model::PaneKind::Frozen);
}

TEST_F(SheetStream, ArrayFormulaOnlyAtItsFirstCell)
{
    const Bytes result = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
    add(sid::Formula, formula(0, 0, result, {0x01, 0, 0, 0, 0}));
    Bytes array = words({0, 1});
    array.insert(array.end(), {0, 0});
    array.insert(array.end(), {0, 0, 0, 0, 0, 0});
    putU16(array, 3);
    array.insert(array.end(), {0x1E, 0x01, 0x00});
    add(sid::Array, array);
    add(sid::Formula, formula(1, 0, result, {0x01, 0, 0, 0, 0}));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.cells.size(), 2u);
    EXPECT_EQ(m_sink.cells[0].formula, "=1");
    EXPECT_EQ(m_sink.cells[0].arrayRange, "RC:R[1]C");
    EXPECT_EQ(m_sink.cells[1].formula, "");
    EXPECT_EQ(m_sink.cells[1].number, 1.0);
}

TEST_F(SheetStream, MergesLinksCommentsAndWindowGatheredBeforeCells)
{
    add(sid::Number, number(0, 0, 1));
    add(sid::MergeCells, words({2, 0, 1, 0, 2, 5, 4, 3, 3})); // the second range is inverted: dropped
    // A link to a place in the workbook: flags 0x08 (location) with the location string.
    Bytes link = words({0, 0, 1, 1});
    link.insert(link.end(), 16, 0);
    putU32(link, 2);
    putU32(link, 0x08);
    putU32(link, 10);
    for (char ch : std::string("Sheet2!A1"))
        putU16(link, static_cast<std::uint8_t>(ch));
    putU16(link, 0);
    add(sid::HLink, link);
    // A comment: OBJ (note), TXO with text and runs in CONTINUEs, then NOTE with the author.
    add(sid::Obj, words({0x15, 0x12, 0x19, 7, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    add(sid::Txo, words({0x0212, 0, 0, 0, 0, 4, 16, 0, 0}));
    add(sid::Continue, {0x00, 'N', 'o', 't', 'e'});
    add(sid::Continue, words({0, 0, 0, 0, 4, 0, 0, 0}));
    add(sid::Note, cat({words({0, 0, 0x0002, 7}), test::xlString("Ann"), Bytes{0}}));
    add(sid::Window2, words({0x06BE, 0, 0, 0x40, 0, 0, 0, 0, 0}));
    add(sid::Pane, cat({words({1, 2, 2, 1}), Bytes{0}}));
    ASSERT_TRUE(read());

    const auto& h = m_sink.header;
    ASSERT_EQ(h.merges.size(), 1u);
    EXPECT_EQ(h.merges[0].lastRow, 1u);
    EXPECT_EQ(h.merges[0].lastCol, 2u);
    ASSERT_EQ(h.hyperlinks.size(), 1u);
    EXPECT_EQ(h.hyperlinks[0].href, "#Sheet2!A1");
    EXPECT_EQ(h.hyperlinks[0].lastCol, 1u);
    ASSERT_EQ(h.comments.size(), 1u);
    EXPECT_EQ(h.comments[0].author, "Ann");
    EXPECT_TRUE(h.comments[0].shown);
    ASSERT_EQ(h.comments[0].text.size(), 1u);
    EXPECT_EQ(h.comments[0].text[0].text, "Note");
    EXPECT_TRUE(m_sink.options.selected);
    EXPECT_EQ(m_sink.options.paneKind, model::PaneKind::Frozen);
    EXPECT_EQ(m_sink.options.splitRows, 2u);
    EXPECT_EQ(m_sink.options.splitCols, 1u);
}

TEST_F(SheetStream, DataValidationListAndRange)
{
    // A list of "a,b" on B2:B5 and all of column D with an input title, blanks allowed, error style Warn.
    Bytes dv;
    putU32(dv, 3u | (1u << 4) | 0x80u | 0x100u | 0x40000u | 0x80000u);
    Bytes title = test::xlString("Pick");
    dv.insert(dv.end(), title.begin(), title.end());
    for (int i = 0; i < 3; ++i)
    {
        Bytes empty = test::xlString(std::string(1, '\0'));
        dv.insert(dv.end(), empty.begin(), empty.end());
    }
    Bytes list = {0x17, 3, 0, 'a', 0, 'b'}; // PtgStr "a\0b"
    putU16(dv, static_cast<std::uint32_t>(list.size()));
    putU16(dv, 0);
    dv.insert(dv.end(), list.begin(), list.end());
    putU16(dv, 0);
    putU16(dv, 0);
    Bytes ranges = words({2, 1, 4, 1, 1, 0, 65535, 3, 3});
    dv.insert(dv.end(), ranges.begin(), ranges.end());
    add(sid::Dv, dv);
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.validations.size(), 1u);
    const auto& v = m_sink.options.validations[0];
    EXPECT_EQ(v.type, "List");
    EXPECT_EQ(v.rangeR1C1, "R2C2:R5C2,C4"); // Excel widens the 65,536 rows to a whole column
    EXPECT_EQ(v.value, "\"a,b\"");
    EXPECT_EQ(v.inputTitle, "Pick");
    EXPECT_EQ(v.errorTitle, "");
    EXPECT_EQ(v.errorStyle, "Warn");
    EXPECT_TRUE(v.allowBlank);
}

TEST_F(SheetStream, ValidationsStopAtWhatTheFormatAllows)
{
    // A sheet holds up to 65,534 validations, all of them kept; a file repeating the record past that cannot grow
    // the sheet's bookkeeping further.
    Bytes dv;
    putU32(dv, 1u); // whole numbers, any value
    for (int i = 0; i < 4; ++i)
    {
        Bytes empty = test::xlString(std::string(1, '\0'));
        dv.insert(dv.end(), empty.begin(), empty.end());
    }
    for (int i = 0; i < 4; ++i)
        putU16(dv, 0);
    Bytes ranges = words({1, 0, 0, 0, 0});
    dv.insert(dv.end(), ranges.begin(), ranges.end());
    for (int i = 0; i < 70000; ++i)
        add(sid::Dv, dv);
    ASSERT_TRUE(read());
    EXPECT_EQ(m_sink.options.validations.size(), 65534u);
    EXPECT_EQ(m_sink.options.validations[0].rangeR1C1, "R1C1");
}

// ---- Conditional formats ---------------------------------------------------------------------------------

/// A CONDFMT announcing `rules` CF records for the ranges {first row, last row, first column, last column}.
Bytes condFmt(std::uint32_t rules, std::uint32_t id, std::initializer_list<std::array<std::uint32_t, 4>> ranges)
{
    Bytes b = words({rules, id << 1, 0, 0, 0, 0, static_cast<std::uint32_t>(ranges.size())});
    for (const auto& r : ranges)
        b = cat({b, words({r[0], r[1], r[2], r[3]})});
    return b;
}

struct Dxf
{
    std::uint32_t fontColor = 0xFFFFFFFF; ///< palette index; all ones = not set
    bool bold = false, italic = false, underline = false, strike = false;
    std::uint32_t background = 0xFFFF; ///< palette index of the fill; 0xFFFF = no fill block
};

/// A DXFN with a font block and, when asked, a pattern block (foreground ignored).
Bytes dxfn(const Dxf& d)
{
    const bool fill = d.background != 0xFFFF;
    Bytes b;
    putU32(b, (1u << 26) | (fill ? (1u << 29) | (1u << 17) : 0u));
    putU16(b, 0);
    Bytes font(64, 0); // no font name
    putU32(font, 0xFFFFFFFF);
    putU32(font, (d.italic ? 0x02u : 0u) | (d.strike ? 0x80u : 0u));
    putU16(font, d.bold ? 700 : 400);
    putU16(font, 0);
    font.insert(font.end(), {static_cast<std::uint8_t>(d.underline ? 1 : 0), 0, 0, 0});
    putU32(font, d.fontColor);
    putU32(font, 0);
    putU32(font, 0); // italic and strikeout given
    putU32(font, 1); // script ignored
    putU32(font, 0); // underline given
    putU32(font, 0); // weight given
    for (int i = 0; i < 3; ++i)
        putU32(font, 0);
    putU16(font, 0);
    b = cat({b, font});
    if (fill)
    {
        putU16(b, 1u << 10); // solid
        putU16(b, 64u | (d.background << 7));
    }
    return b;
}

Bytes cf(std::uint8_t type, std::uint8_t comparison, const Bytes& rgce1, const Bytes& rgce2, const Bytes& dxf)
{
    Bytes b = {type, comparison};
    putU16(b, static_cast<std::uint32_t>(rgce1.size()));
    putU16(b, static_cast<std::uint32_t>(rgce2.size()));
    return cat({b, dxf, rgce1, rgce2});
}

Bytes ptgInt(std::uint32_t value)
{
    return cat({Bytes{0x1E}, words({value})});
}

TEST_F(SheetStream, ConditionalFormatCellValueRuleWithFontAndFill)
{
    add(sid::CondFmt, condFmt(2, 1, {{1, 2, 1, 2}}));
    add(sid::Cf, cf(1, 1, ptgInt(1), ptgInt(10), dxfn({10, true, true, false, false, 13})));
    add(sid::Cf, cf(1, 5, ptgInt(0), {}, dxfn({.underline = true, .strike = true})));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 1u);
    const auto& format = m_sink.options.conditionalFormats[0];
    EXPECT_EQ(format.rangeR1C1, "R2C2:R3C3");
    ASSERT_EQ(format.rules.size(), 2u);
    EXPECT_EQ(format.rules[0].qualifier, "Between");
    EXPECT_EQ(format.rules[0].value1, "1");
    EXPECT_EQ(format.rules[0].value2, "10");
    EXPECT_EQ(format.rules[0].css, "color:#FF0000;font-weight:700;font-style:italic;background:#FFFF00");
    EXPECT_EQ(format.rules[1].qualifier, "Greater");
    EXPECT_EQ(format.rules[1].value2, "");
    EXPECT_EQ(format.rules[1].css,
              "font-weight:400;font-style:normal;text-underline-style:single;text-line-through:single");
}

TEST_F(SheetStream, ConditionalFormatFormulaCountsFromTheFirstCell)
{
    // D5:D9 and A1, formula R[-1]C+R1C1>RC[-1]: an offset (PtgRefN), an absolute reference, and a relative PtgRef
    // that stores the position it names (C5, left of D5).
    Bytes rgce = cat({Bytes{0x4C}, words({0xFFFF, 0xC000}), Bytes{0x44}, words({0, 0}), Bytes{0x03}, Bytes{0x44},
                      words({4, 0xC002}), Bytes{0x0D}});
    add(sid::CondFmt, condFmt(1, 3, {{4, 8, 3, 3}, {0, 0, 0, 0}}));
    add(sid::Cf, cf(2, 0, rgce, {}, dxfn({.bold = true})));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 1u);
    const auto& format = m_sink.options.conditionalFormats[0];
    EXPECT_EQ(format.rangeR1C1, "R5C4:R9C4,R1C1");
    ASSERT_EQ(format.rules.size(), 1u);
    EXPECT_EQ(format.rules[0].qualifier, "");
    EXPECT_EQ(format.rules[0].value1, "R[-1]C+R1C1>RC[-1]");
    EXPECT_EQ(format.rules[0].css, "font-weight:700;font-style:normal");
}

TEST_F(SheetStream, ConditionalFormatRangesWithoutWritableRulesAreKept)
{
    // A CONDFMT12 (behind its 12-byte future-record header) holds a data bar: its range stays, without conditions,
    // and the CF after it does not join it.
    add(sid::CondFmt12, cat({Bytes(12, 0), condFmt(1, 7, {{0, 4, 0, 0}})}));
    add(0x087A, Bytes(40, 0));
    add(sid::Cf, cf(1, 3, ptgInt(1), {}, dxfn({})));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 1u);
    EXPECT_EQ(m_sink.options.conditionalFormats[0].rangeR1C1, "R1C1:R5C1");
    EXPECT_TRUE(m_sink.options.conditionalFormats[0].rules.empty());
}

TEST_F(SheetStream, ConditionalFormatDamagedRulesAreSkipped)
{
    add(sid::CondFmt, condFmt(3, 1, {{0, 9, 0, 0}}));
    Bytes shortRule = cf(1, 3, ptgInt(7), {}, dxfn({}));
    shortRule[2] = 40; // the first formula claims more bytes than the record holds
    add(sid::Cf, shortRule);
    add(sid::Cf, cf(1, 9, ptgInt(7), {}, dxfn({}))); // no such comparison
    add(sid::Cf, cf(1, 3, ptgInt(7), {}, dxfn({}))); // kept
    add(sid::Cf, cf(1, 4, ptgInt(8), {}, dxfn({}))); // one more than announced
    add(sid::CondFmt, condFmt(1, 2, {}));            // no range: its rule belongs to nobody
    add(sid::Cf, cf(1, 4, ptgInt(9), {}, dxfn({})));
    add(sid::CondFmt, Bytes{1, 0, 2}); // cut short
    add(sid::Cf, cf(1, 4, ptgInt(9), {}, dxfn({})));
    add(sid::CondFmt, condFmt(1, 4, {{0, 0, 0, 0}})); // its only rule is cut inside its format: the range stays
    Bytes cutRule = cf(1, 4, ptgInt(9), {}, dxfn({}));
    cutRule.resize(60);
    add(sid::Cf, cutRule);
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 2u);
    EXPECT_TRUE(m_sink.options.conditionalFormats[1].rules.empty());
    const auto& format = m_sink.options.conditionalFormats[0];
    EXPECT_EQ(format.rangeR1C1, "R1C1:R10C1");
    ASSERT_EQ(format.rules.size(), 1u);
    EXPECT_EQ(format.rules[0].qualifier, "Equal");
    EXPECT_EQ(format.rules[0].value1, "7");
}

TEST_F(SheetStream, ConditionalFormatRulesAcrossContinueRecords)
{
    // The first rule's second formula lies in a CONTINUE record; the second rule claims 70 KB through its CONTINUE
    // records, more than two formulas can take, and is left out without losing the sheet.
    add(sid::CondFmt, condFmt(3, 1, {{0, 0, 0, 0}}));
    Bytes split = cf(1, 2, ptgInt(1), ptgInt(2), dxfn({}));
    add(sid::Cf, Bytes(split.begin(), split.end() - 3));
    add(sid::Continue, Bytes(split.end() - 3, split.end()));
    add(sid::Cf, cf(1, 3, ptgInt(3), {}, dxfn({})));
    for (int i = 0; i < 10; ++i)
        add(sid::Continue, Bytes(7000, 0));
    add(sid::Cf, cf(1, 3, ptgInt(4), {}, dxfn({})));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 1u);
    const auto& rules = m_sink.options.conditionalFormats[0].rules;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].qualifier, "NotBetween");
    EXPECT_EQ(rules[0].value2, "2");
    EXPECT_EQ(rules[1].value1, "4");
}

/// A CFEX giving rule `rule` of CONDFMT `id` exact colours: text and fill background as RGB.
Bytes cfEx(std::uint32_t id, std::uint32_t rule, bool forNewerRule, const std::array<std::uint8_t, 3>& text,
           const std::array<std::uint8_t, 3>& fill)
{
    Bytes b = words({0x087B, 1, 0, 0, 0, 0});
    putU32(b, forNewerRule ? 1 : 0);
    b = cat({b, words({id, rule}), Bytes{3, 0}, words({1}), Bytes{1, 1}});
    // The format repeats the CF's, then lists two exact colours (fill background, text).
    Bytes format = cat({dxfn({10, false, false, false, false, 13}), words({0, 0xFFFF, 0, 2})});
    for (const auto& [type, rgb] : {std::pair{5u, fill}, std::pair{0x0Du, text}})
        format = cat({format, words({type, 20, 2, 0}), Bytes{rgb[0], rgb[1], rgb[2], 0xFF}, Bytes(8, 0)});
    putU32(b, static_cast<std::uint32_t>(format.size()));
    return cat({b, format, Bytes{16}, Bytes(16, 0)});
}

TEST_F(SheetStream, ConditionalFormatExactColoursFromTheRuleExtension)
{
    // Excel 2007 and later keep the palette's nearest colours in CF and the chosen ones in CFEX.
    add(sid::CondFmt, condFmt(2, 5, {{6, 7, 1, 3}}));
    add(sid::Cf, cf(1, 5, ptgInt(5), {}, dxfn({10, false, false, false, false, 13})));
    add(sid::Cf, cf(1, 6, ptgInt(1), {}, dxfn({10, false, false, false, false, 13})));
    add(0x087B, cfEx(5, 0, false, {0x9C, 0x00, 0x06}, {0xFF, 0xC7, 0xCE}));
    add(0x087B, cfEx(5, 1, true, {0x11, 0x22, 0x33}, {0x44, 0x55, 0x66}));  // extends a newer rule: not this one
    add(0x087B, cfEx(6, 1, false, {0x11, 0x22, 0x33}, {0x44, 0x55, 0x66})); // no such CONDFMT
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 1u);
    const auto& rules = m_sink.options.conditionalFormats[0].rules;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].css, "color:#9C0006;font-weight:400;font-style:normal;background:#FFC7CE");
    EXPECT_EQ(rules[1].css, "color:#FF0000;font-weight:400;font-style:normal;background:#FFFF00");
}

TEST_F(SheetStream, ConditionalFormatThemeColoursFromTheRuleExtension)
{
    // Text in the theme's accent2, fill accent1 40% lighter (the built-in theme here); an automatic text colour in
    // the second rule leaves the CF's palette colour.
    auto themed = [](std::uint32_t rule, std::uint16_t textKind) {
        Bytes b = words({0x087B, 1, 0, 0, 0, 0});
        putU32(b, 0);
        b = cat({b, words({5, rule}), Bytes{3, 0}, words({1}), Bytes{1, 1}});
        Bytes format = cat({dxfn({10, false, false, false, false, 13}), words({0, 0xFFFF, 0, 2})});
        format = cat({format, words({5, 20, 3, 13106, 4, 0}), Bytes(8, 0)});
        format = cat({format, words({0x0D, 20, textKind, 0, 5, 0}), Bytes(8, 0)});
        putU32(b, static_cast<std::uint32_t>(format.size()));
        return cat({b, format, Bytes{16}, Bytes(16, 0)});
    };
    add(sid::CondFmt, condFmt(2, 5, {{6, 7, 1, 3}}));
    add(sid::Cf, cf(1, 5, ptgInt(5), {}, dxfn({10, false, false, false, false, 13})));
    add(sid::Cf, cf(1, 6, ptgInt(1), {}, dxfn({10, false, false, false, false, 13})));
    add(0x087B, themed(0, 3));
    add(0x087B, themed(1, 0));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.options.conditionalFormats.size(), 1u);
    const auto& rules = m_sink.options.conditionalFormats[0].rules;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].css, "color:#C0504D;font-weight:400;font-style:normal;background:#95B3D7");
    EXPECT_EQ(rules[1].css, "color:#FF0000;font-weight:400;font-style:normal;background:#95B3D7");
}

TEST_F(SheetStream, ConditionalFormatsStopAtTheCap)
{
    Bytes format = condFmt(1, 1, {{0, 0, 0, 0}});
    Bytes rule = cf(1, 3, ptgInt(1), {}, dxfn({}));
    for (int i = 0; i < 66000; ++i)
    {
        add(sid::CondFmt, format);
        add(sid::Cf, rule);
    }
    ASSERT_TRUE(read());
    EXPECT_EQ(m_sink.options.conditionalFormats.size(), 65534u);
}

TEST_F(SheetStream, CommentTextAcrossSeveralContinues)
{
    add(sid::Note, cat({words({0, 0, 0, 3}), test::xlString("Bo"), Bytes{0}}));
    add(sid::Obj, words({0x15, 0x12, 0x19, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    add(sid::Txo, words({0x0212, 0, 0, 0, 0, 5, 24, 0, 0}));
    add(sid::Continue, {0x00, 'a', 'b'});
    add(sid::Continue, {0x01, 'c', 0, 'd', 0, 'e', 0}); // the rest in UTF-16, with its own option byte
    add(sid::Continue, words({0, 0, 0, 0, 3, 2, 0, 0, 5, 0, 0, 0}));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.header.comments.size(), 1u);
    const auto& note = m_sink.header.comments[0];
    EXPECT_EQ(note.author, "Bo");
    ASSERT_EQ(note.text.size(), 2u);
    EXPECT_EQ(note.text[0].text, "abc");
    EXPECT_EQ(note.text[1].text, "de");
    EXPECT_TRUE(note.text[1].hasFont);
}

TEST_F(SheetStream, Biff5NotesRunOnInFollowingNoteRecords)
{
    m_globals.biffVersion = 5;
    m_bytes.clear();
    record(m_bytes, sid::Bof, words({0x0500, 0x0010, 0, 0}));
    add(sid::Note, cat({words({2, 1, 3}), Bytes{'o', 'n', 'e'}}));
    add(sid::Note, cat({words({0xFFFF, 0, 4}), Bytes{' ', 't', 'w', 'o'}}));
    add(sid::Label, cat({words({0, 0, 15, 2}), Bytes{0xE9, 't'}})); // BIFF5 text in the code page
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.header.comments.size(), 1u);
    EXPECT_EQ(m_sink.header.comments[0].row, 2u);
    ASSERT_EQ(m_sink.header.comments[0].text.size(), 1u);
    EXPECT_EQ(m_sink.header.comments[0].text[0].text, "one two");
    ASSERT_EQ(m_sink.cells.size(), 1u);
    EXPECT_EQ(m_sink.cells[0].text, "\xC3\xA9t");
}

TEST_F(SheetStream, HyperlinkFormulaGivesItsCellALink)
{
    const Bytes result = {0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    Bytes rgce = {0x17, 10, 0};
    for (char ch : std::string("http://a.b"))
        rgce.push_back(static_cast<std::uint8_t>(ch));
    rgce.insert(rgce.end(), {0x17, 1, 0, 'x', 0x42, 2, 0x67, 0x01});
    add(sid::Formula, formula(3, 1, result, rgce));
    add(sid::String, test::xlString("x"));
    // A computed address is not a link Excel can know without calculating.
    Bytes computed = {0x17, 1, 0, 'a', 0x24, 0, 0, 0, 0, 0x08, 0x42, 1, 0x67, 0x01};
    add(sid::Formula, formula(4, 1, result, computed));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.header.hyperlinks.size(), 1u);
    EXPECT_EQ(m_sink.header.hyperlinks[0].href, "http://a.b");
    EXPECT_EQ(m_sink.header.hyperlinks[0].firstRow, 3u);
    EXPECT_EQ(m_sink.header.hyperlinks[0].firstCol, 1u);
}

TEST_F(SheetStream, DamagedRecordsAreErrorsNotCrashes)
{
    add(sid::MulRk, cat({words({0, 0, 15, 0}), Bytes{0, 0, 0}})); // entries of 6 bytes do not fit
    Status st = read();
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
    EXPECT_NE(st.detail().find("0x00BD"), std::string::npos) << st.detail();
}

TEST_F(SheetStream, SheetWithoutEofIsDamaged)
{
    add(sid::Number, number(0, 0, 1));
    MemorySource source(m_bytes); // no EOF appended
    RecordStream stream(source);
    CodepageDecoder decoder;
    XlsSheetReader reader(m_globals, stream, decoder, 16);
    EXPECT_EQ(reader.read(0, m_sink).code(), EngineErrc::DamagedFile);
    EXPECT_FALSE(m_sink.ended);
}

TEST_F(SheetStream, EmbeddedChartSubstreamIsPassedOver)
{
    add(sid::Number, number(0, 0, 1));
    add(sid::Bof, test::bof8(0x0020));
    add(sid::Number, number(0, 1, 99)); // belongs to the chart, not the sheet
    add(sid::Eof, {});
    add(sid::Number, number(1, 0, 2));
    ASSERT_TRUE(read());
    ASSERT_EQ(m_sink.cells.size(), 2u);
    EXPECT_EQ(m_sink.cells[1].number, 2.0);
}

} // namespace
} // namespace velquin::engine::xls
