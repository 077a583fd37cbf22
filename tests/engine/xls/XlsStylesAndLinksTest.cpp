// FONT, XF, STYLE and PALETTE records turned into effective cell styles; HLINK and DV records.
#include "BiffBuilder.h"
#include "engine/xls/HlinkRecord.h"
#include "engine/xls/XlsSheetReader.h"
#include "engine/xls/XlsStyles.h"
#include "engine/xmlss/NumberFormat.h"

#include <gtest/gtest.h>

namespace velquin::engine::xls {
namespace {

using test::Bytes;
using test::cat;
using test::putU16;
using test::putU32;
using test::words;

FontRecord font(const std::string& name, double points, std::uint16_t color, bool bold = false)
{
    FontRecord f;
    f.name = name;
    f.height = points;
    f.color = color;
    f.weight = bold ? 700 : 400;
    return f;
}

TEST(CellStyles, AFormatRecordForABuiltInNumberWinsOverTheDefaultCode)
{
    StyleTables t;
    t.fonts = {font("Arial", 10, 0x7FFF)};
    t.formats[16] = "dd/mmm"; // as a localised Excel stores it
    XfRecord normal;
    normal.isStyle = true;
    XfRecord stored;
    stored.parent = 0;
    stored.format = 16;
    stored.usedFlags = 0x01;
    XfRecord builtin = stored;
    builtin.format = 17;
    t.xfs = {normal, stored, builtin};
    t.styles[0] = {"", 0};
    std::vector<model::CellStyle> cells;
    std::vector<model::NamedStyle> named;
    buildStyles(t, cells, named);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(xmlss::excelFormatName(cells[1].numberFormat, cells[1].numberFormatId), "dd/mmm");
    EXPECT_EQ(xmlss::excelFormatName(cells[2].numberFormat, cells[2].numberFormatId), "mmm\\-yy");
}

TEST(CellStyles, CellXfShowsItsOwnGroupsWhateverItsUsedBitsSay)
{
    StyleTables t;
    t.fonts = {font("Arial", 10, 0x7FFF), font("Arial", 12, 10, true)};
    XfRecord normal; // style XF 0
    normal.isStyle = true;
    XfRecord styled; // style XF 1: a user style with font 1 and a solid yellow fill
    styled.isStyle = true;
    styled.font = 1;
    styled.pattern = 1;
    styled.patternColor = 13;
    XfRecord cell; // cell XF 2 on style 1: a date with every "used" bit clear, font 0, the window background fill
    cell.parent = 1;
    cell.format = 14;
    cell.horizontal = 2;
    cell.usedFlags = 0;
    cell.font = 0;
    cell.pattern = 1;
    cell.patternColor = 65;
    t.xfs = {normal, styled, cell};
    t.styles[0] = {"", 0};
    t.styles[1] = {"Loud", -1};
    std::vector<model::CellStyle> cells;
    std::vector<model::NamedStyle> named;
    buildStyles(t, cells, named);

    ASSERT_EQ(named.size(), 2u);
    EXPECT_EQ(named[0].name, "Normal");
    EXPECT_EQ(named[1].name, "Loud");
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_EQ(cells[1].font.size, 12);
    EXPECT_EQ(cells[1].interior.color, (model::Rgb{0xFF, 0xFF, 0})); // palette 13: yellow
    const model::CellStyle& s = cells[2];
    EXPECT_EQ(s.parentStyle, 1);
    EXPECT_EQ(s.numberFormatId, 14);
    EXPECT_EQ(s.alignment.horizontal, model::Horizontal::Center);
    EXPECT_EQ(s.font.size, 10);
    EXPECT_FALSE(s.font.bold);
    EXPECT_EQ(s.interior.pattern, model::Pattern::Solid);
    EXPECT_EQ(s.interior.color, (model::Rgb{0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(cells[0].font.color.has_value()); // automatic colour
}

TEST(CellStyles, Biff8XfBitFieldsAndCustomPalette)
{
    // Font 0, format 14, locked, parent 0; centred, wrapped, top; rotated 45 degrees; indent 2;
    // thin left border in palette 8, double bottom in the system's window background (65); solid fill of
    // palette 9 (changed to #123456 below).
    Bytes xf = words({0, 14, 0x0001});
    xf.push_back(0x02 | 0x08 | 0x00);
    xf.push_back(45);
    xf.push_back(0x02);
    xf.push_back(0xFC);
    putU32(xf, 0x1u | (6u << 12) | (8u << 16));
    putU32(xf, (65u << 7) | (1u << 26));
    putU16(xf, 9);
    ByteCursor c(xf);
    XfRecord x = parseXf(c, true);
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(x.format, 14);
    EXPECT_TRUE(x.wrap);
    EXPECT_EQ(x.vertical, 0);
    EXPECT_EQ(x.rotation, 45);
    EXPECT_EQ(x.indent, 2);
    EXPECT_EQ(x.lineLeft, 1);
    EXPECT_EQ(x.lineBottom, 6);
    EXPECT_EQ(x.pattern, 1);

    Bytes palette = words({2});
    palette.insert(palette.end(), {0, 0, 0, 0, 0x12, 0x34, 0x56, 0});
    StyleTables t;
    t.fonts = {font("Calibri", 11, 8)};
    ByteCursor p(palette);
    t.palette.parse(p);
    x.usedFlags = 0x3F;
    t.xfs = {x};
    std::vector<model::CellStyle> cells;
    std::vector<model::NamedStyle> named;
    buildStyles(t, cells, named);
    const model::CellStyle& s = cells[0];
    EXPECT_EQ(s.numberFormat, "m/d/yyyy");
    EXPECT_EQ(s.numberFormatId, 14);
    EXPECT_EQ(s.alignment.vertical, model::Vertical::Top);
    EXPECT_EQ(s.alignment.rotate, 45);
    EXPECT_EQ(s.borders.left.lineStyle, model::LineStyle::Continuous);
    EXPECT_EQ(s.borders.left.weight, 1);
    EXPECT_EQ(s.borders.bottom.lineStyle, model::LineStyle::Double);
    EXPECT_FALSE(s.borders.bottom.color);
    EXPECT_TRUE(s.borders.bottom.windowBackground);
    EXPECT_EQ(s.borders.left.color, (model::Rgb{0, 0, 0}));
    EXPECT_FALSE(s.borders.left.windowBackground);
    EXPECT_EQ(s.interior.color, (model::Rgb{0x12, 0x34, 0x56}));
    EXPECT_EQ(s.font.color, (model::Rgb{0, 0, 0}));
}

TEST(CellStyles, FontIndexFourDoesNotExist)
{
    StyleTables t;
    for (int i = 0; i < 6; ++i)
        t.fonts.push_back(font("F" + std::to_string(i), 10, 0x7FFF));
    EXPECT_EQ(fontAt(t, 3)->name, "F3");
    EXPECT_EQ(fontAt(t, 5)->name, "F4"); // BIFF skips index 4, so 5 is the fifth record
    EXPECT_EQ(fontAt(t, 900)->name, "F0");
}

Bytes hlinkHeader(std::uint32_t flags)
{
    Bytes b = words({2, 2, 0, 1});
    b.insert(b.end(), 16, 0);
    putU32(b, 2);
    putU32(b, flags);
    return b;
}

void putHyperlinkString(Bytes& b, const std::string& text)
{
    putU32(b, static_cast<std::uint32_t>(text.size() + 1));
    for (char ch : text)
        putU16(b, static_cast<std::uint8_t>(ch));
    putU16(b, 0);
}

TEST(HyperlinkRecords, UrlMonikerWithLocationAndDisplayName)
{
    Bytes b = hlinkHeader(0x01 | 0x02 | 0x08 | 0x10);
    putHyperlinkString(b, "Click");
    b.insert(b.end(), {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11, 0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B});
    std::string url = "http://x.org/";
    putU32(b, static_cast<std::uint32_t>(2 * (url.size() + 1)));
    for (char ch : url)
        putU16(b, static_cast<std::uint8_t>(ch));
    putU16(b, 0);
    putHyperlinkString(b, "part");
    auto link = parseHlink(b);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->href, "http://x.org/#part");
    EXPECT_EQ(link->firstRow, 2u);
    EXPECT_EQ(link->lastCol, 1u);
}

TEST(HyperlinkRecords, FileMonikerClimbsUpAndPrefersItsUnicodePath)
{
    Bytes b = hlinkHeader(0x01);
    b.insert(b.end(), {0x03, 0x03, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46});
    putU16(b, 2); // two levels up
    putU32(b, 6);
    b.insert(b.end(), {'a', '?', '.', 'x', 's', 0});
    putU16(b, 0xFFFF);
    putU16(b, 0xDEAD);
    b.insert(b.end(), 20, 0);
    putU32(b, 16); // the Unicode extension: byte count, key 3, "a\u00e9.xls" in UTF-16
    putU32(b, 10);
    putU16(b, 3);
    for (std::uint16_t u : {0x61, 0xE9, 0x2E, 0x78, 0x73})
        putU16(b, u);
    auto link = parseHlink(b);
    ASSERT_TRUE(link);
    EXPECT_EQ(link->href, "../../a\xC3\xA9.xs");

    // A moniker of a kind we cannot measure leaves the record unread rather than guessed at.
    Bytes other = hlinkHeader(0x01);
    other.insert(other.end(), 16, 0x77);
    putU32(other, 4);
    EXPECT_FALSE(parseHlink(other));
    EXPECT_FALSE(parseHlink(Bytes(10, 0)));
}

TEST(HyperlinkRecords, TooltipCoversItsRange)
{
    Bytes b = words({0x0800, 4, 5, 0, 0});
    for (char ch : std::string("tip"))
        putU16(b, static_cast<std::uint8_t>(ch));
    putU16(b, 0);
    auto tip = parseHlinkTooltip(b);
    ASSERT_TRUE(tip);
    EXPECT_EQ(tip->firstRow, 4u);
    EXPECT_EQ(tip->lastRow, 5u);
    EXPECT_EQ(tip->screenTip, "tip");
}

TEST(ReferenceText, AbsoluteR1C1BecomesA1ForLinks)
{
    EXPECT_EQ(absoluteR1C1ToA1("R7C3:R8C5"), "C7:E8");
    EXPECT_EQ(absoluteR1C1ToA1("R1C27"), "AA1");
    EXPECT_EQ(absoluteR1C1ToA1("R1C16384"), "XFD1");
    EXPECT_FALSE(absoluteR1C1ToA1("R[1]C"));
    EXPECT_FALSE(absoluteR1C1ToA1("R1C1,R2C2"));
}

} // namespace
} // namespace velquin::engine::xls
