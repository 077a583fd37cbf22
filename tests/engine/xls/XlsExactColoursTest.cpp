// The exact colours Excel 2007 and later keep beside the palette indexes: XFEXT, XFCRC and the THEME package.
#include "BiffBuilder.h"
#include "engine/xls/BiffStrings.h"
#include "engine/xls/RecordStream.h"
#include "engine/xls/ThemeRecord.h"
#include "engine/xls/XlsGlobals.h"
#include "engine/xls/XlsReader.h"
#include "engine/xls/XlsStyles.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <span>
#include <utility>
#include <zip.h>

namespace velquin::engine::xls {
namespace {

using test::Bytes;
using test::cat;
using test::putU16;
using test::putU32;
using test::record;
using test::words;

constexpr std::uint16_t kXfExt = 0x087D, kXfCrc = 0x087C, kTheme = 0x0896, kContinueFrt = 0x0812;
constexpr std::uint16_t kText = 13, kFillFore = 4, kFillBack = 5, kBorderTop = 7, kBorderBottom = 8;

model::Rgb hex(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

/// FullColorExt: kind (0 auto, 1 indexed, 2 RGB as R,G,B,A bytes, 3 theme), tint * 32767, value.
Bytes fullColor(std::uint16_t kind, std::int16_t tint, std::uint32_t value)
{
    Bytes b = words({kind, static_cast<std::uint16_t>(tint)});
    putU32(b, value);
    b.insert(b.end(), 8, 0); // unused
    return b;
}

/// Little-endian R, G, B, A.
std::uint32_t rgba(std::uint32_t rgb)
{
    return ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16) | 0xFF000000u;
}

Bytes frtHeader(std::uint16_t rt)
{
    return words({rt, 0, 0, 0, 0, 0});
}

Bytes xfExt(std::uint16_t ixfe, const std::vector<std::pair<std::uint16_t, Bytes>>& props)
{
    Bytes b = cat({frtHeader(kXfExt), words({0, ixfe, 0, static_cast<std::uint16_t>(props.size())})});
    for (const auto& [type, data] : props)
    {
        putU16(b, type);
        putU16(b, static_cast<std::uint32_t>(data.size() + 4));
        b.insert(b.end(), data.begin(), data.end());
    }
    return b;
}

XfExtension extension(const Bytes& payload)
{
    auto parsed = parseXfExt(payload);
    EXPECT_TRUE(parsed.has_value());
    return parsed ? parsed->second : XfExtension{};
}

TEST(ExactColours, XfExtensionReplacesPaletteColoursItDraws)
{
    StyleTables t;
    FontRecord red;
    red.color = 10;
    t.fonts = {red};
    XfRecord normal;
    normal.isStyle = true;
    XfRecord solid; // solid fill, thin bottom border, no top border
    solid.parent = 0;
    solid.usedFlags = 0x3F;
    solid.pattern = 1;
    solid.patternColor = 44;
    solid.lineBottom = 1;
    solid.colorBottom = 8;
    XfRecord hatched = solid; // 50% grey pattern: foreground over background
    hatched.pattern = 2;
    hatched.patternColor = 12;
    hatched.backColor = 13;
    t.xfs = {normal, solid, hatched};
    // Theme indexes swap the first two pairs of the scheme: 3 is dk2, 4 accent1, 9 accent6.
    t.extensions[1] = extension(xfExt(1, {{kText, fullColor(2, 0, rgba(0x123456))},
                                          {kFillFore, fullColor(3, 13106, 4)},
                                          {kBorderBottom, fullColor(3, -16383, 3)},
                                          {kBorderTop, fullColor(2, 0, rgba(0xABCDEF))}}));
    t.extensions[2] = extension(
        xfExt(2, {{kText, fullColor(0, 0, 0)}, {kFillFore, fullColor(3, -8191, 9)}, {kFillBack, fullColor(1, 0, 10)}}));
    std::vector<model::CellStyle> cells;
    std::vector<model::NamedStyle> named;
    buildStyles(t, cells, named);
    ASSERT_EQ(cells.size(), 3u);

    // Against the theme Excel 2007 wrote by number: accent1 40% lighter, dk2 50% darker, accent6 25% darker,
    // the values Excel's colour picker shows for them.
    EXPECT_EQ(cells[1].font.color, hex(0x123456));
    EXPECT_EQ(cells[1].interior.color, hex(0x95B3D7));
    EXPECT_EQ(cells[1].borders.bottom.color, hex(0x10253F));
    EXPECT_EQ(cells[1].borders.top.lineStyle, model::LineStyle::None); // no line: its colour does not make one
    EXPECT_FALSE(cells[1].borders.top.color.has_value());

    EXPECT_EQ(cells[2].font.color, hex(0xFF0000)); // automatic keeps the FONT record's palette colour
    EXPECT_EQ(cells[2].interior.pattern, model::Pattern::Gray50);
    EXPECT_EQ(cells[2].interior.color, hex(0xFF0000)); // background, palette index 10
    EXPECT_EQ(cells[2].interior.patternColor, hex(0xE46C0A));

    // A theme that could not be read leaves theme colours to the palette; RGB colours still apply.
    t.palette.clearTheme();
    buildStyles(t, cells, named);
    EXPECT_EQ(cells[1].font.color, hex(0x123456));
    EXPECT_EQ(cells[1].interior.color, hex(0x99CCFF)); // palette 44
}

TEST(ExactColours, DamagedXfExtensionsAreRefused)
{
    const Bytes good = xfExt(7, {{14, {0x02}}, {kText, fullColor(2, 0, rgba(0x0563C1))}});
    auto parsed = parseXfExt(good);
    ASSERT_TRUE(parsed.has_value()); // the font-scheme property before it is skipped by its length
    EXPECT_EQ(parsed->first, 7);
    ASSERT_TRUE(parsed->second.text.has_value());
    EXPECT_EQ(parsed->second.text->value, 0x0563C1u);

    Bytes cut(good.begin(), good.end() - 3); // last property runs past the record
    EXPECT_FALSE(parseXfExt(cut));
    Bytes tooShort = xfExt(7, {});
    tooShort[18] = 1; // one property announced, none there
    EXPECT_FALSE(parseXfExt(tooShort));
    Bytes zeroSize = cat({xfExt(7, {}), words({kText, 0})});
    zeroSize[18] = 1;
    EXPECT_FALSE(parseXfExt(zeroSize));
    EXPECT_FALSE(parseXfExt(xfExt(7, {{kText, fullColor(9, 0, 0)}}))); // no such colour kind
    EXPECT_FALSE(parseXfExt(xfExt(7, {{kText, {1, 0, 0}}})));          // colour cut short
    EXPECT_FALSE(parseXfExt(Bytes(10, 0)));

    // The most negative tint stays within -1 and the theme index past the scheme resolves to nothing.
    Palette palette;
    const Bytes lightest = fullColor(3, -32768, 0); // lt1, white
    ByteCursor c(lightest);
    auto darkest = readFullColor(c);
    ASSERT_TRUE(darkest.has_value());
    EXPECT_EQ(palette.resolve(*darkest), hex(0x000000));
    EXPECT_FALSE(palette.resolve(FullColor{FullColor::Kind::Theme, 12, 0}).has_value());
    EXPECT_FALSE(palette.resolve(FullColor{FullColor::Kind::Indexed, 64, 0}).has_value());
}

TEST(ExactColours, OfficeChecksum)
{
    const std::string digits = "123456789";
    EXPECT_EQ(officeChecksum(0, std::span(reinterpret_cast<const std::uint8_t*>(digits.data()), digits.size())),
              0xBD0BE338u);
    Bytes counting;
    for (std::uint8_t i = 0; i < 20; ++i)
        counting.push_back(i);
    // In two pieces as in one.
    EXPECT_EQ(officeChecksum(officeChecksum(0, std::span(counting).first(7)), std::span(counting).subspan(7)),
              0x55B2B9BAu);
}

Status parseGlobalsBytes(const Bytes& bytes, XlsGlobals& g)
{
    MemorySource source(bytes);
    RecordStream stream(source);
    CodepageDecoder decoder;
    return parseGlobals(stream, g, decoder);
}

/// A BIFF8 XF payload: style or cell XF with a solid fill of palette colour `icv`.
Bytes solidXf(bool style, std::uint16_t icv)
{
    Bytes xf = words({0, 0, style ? 0xFFF5u : 0x0001u});
    xf.insert(xf.end(), {0x20, 0, 0, 0xF4});
    putU32(xf, 0);
    putU32(xf, 1u << 26);
    putU16(xf, icv | (65u << 7));
    return xf;
}

/// Globals with a style XF and a cell XF filled with palette 44 (#99CCFF), an XFEXT giving the cell XF the
/// theme's hyperlink colour, and whatever `extra` adds before it.
Bytes globalsWithExtension(const Bytes& extra, std::uint32_t checksumAdjust)
{
    Bytes s;
    record(s, sid::Bof, test::bof8(0x0005));
    const Bytes xfs[2] = {solidXf(true, 64), solidXf(false, 44)};
    std::uint32_t crc = 0;
    for (const Bytes& xf : xfs)
    {
        record(s, sid::Xf, xf);
        crc = officeChecksum(crc, xf);
    }
    Bytes xfCrc = cat({frtHeader(kXfCrc), words({0, 2})});
    putU32(xfCrc, crc + checksumAdjust);
    record(s, kXfCrc, xfCrc);
    record(s, kXfExt, xfExt(1, {{kFillFore, fullColor(3, 0, 10)}}));
    s.insert(s.end(), extra.begin(), extra.end());
    record(s, sid::Eof, {});
    return s;
}

std::optional<model::Rgb> cellFill(const Bytes& globals)
{
    XlsGlobals g;
    EXPECT_TRUE(parseGlobalsBytes(globals, g));
    std::vector<model::CellStyle> cells;
    std::vector<model::NamedStyle> named;
    buildStyles(g.styles, cells, named);
    EXPECT_EQ(cells.size(), 2u);
    return cells.size() == 2 ? cells[1].interior.color : std::nullopt;
}

TEST(ExactColours, ExtensionsCountOnlyWhileTheChecksumOfTheXfsHolds)
{
    EXPECT_EQ(cellFill(globalsWithExtension({}, 0)), hex(0x0000FF)); // hlink of the built-in theme
    // XFs changed by a program that kept the extensions without understanding them: the palette's colour.
    EXPECT_EQ(cellFill(globalsWithExtension({}, 1)), hex(0x99CCFF));
}

/// A zip file in memory holding `parts` (name, content).
Bytes zipOf(const std::vector<std::pair<std::string, std::string>>& parts)
{
    test::TempDir dir;
    const std::string path = dir.file("theme.zip");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(archive, nullptr);
    if (!archive)
        return {};
    for (const auto& [name, content] : parts)
    {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        EXPECT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
    }
    EXPECT_EQ(zip_close(archive), 0);
    const std::string bytes = test::readFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

std::string themeXml(const std::string& accent1, const std::string& hlink)
{
    return "<a:theme xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" name=\"T\">"
           "<a:themeElements><a:clrScheme name=\"C\">"
           "<a:dk1><a:sysClr val=\"windowText\" lastClr=\"000000\"/></a:dk1>"
           "<a:lt1><a:sysClr val=\"window\" lastClr=\"FFFFFF\"/></a:lt1>"
           "<a:dk2><a:srgbClr val=\"44546A\"/></a:dk2><a:lt2><a:srgbClr val=\"E7E6E6\"/></a:lt2>"
           "<a:accent1><a:srgbClr val=\"" +
           accent1 + "\"/></a:accent1><a:hlink><a:srgbClr val=\"" + hlink +
           "\"/></a:hlink></a:clrScheme></a:themeElements></a:theme>";
}

const std::string kContentTypes = "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                                  "<Override PartName=\"/theme/theme/themeManager.xml\" "
                                  "ContentType=\"application/vnd.openxmlformats-officedocument.themeManager+xml\"/>"
                                  "<Override PartName=\"/theme/theme/other.xml\" "
                                  "ContentType=\"application/vnd.openxmlformats-officedocument.theme+xml\"/></Types>";

TEST(ThemePackage, ColourSchemeOfTheThemePart)
{
    // The part the content types name as the theme, not the usual file name.
    Bytes package = zipOf({{"[Content_Types].xml", kContentTypes},
                           {"theme/theme/theme1.xml", themeXml("FF0000", "FF0000")},
                           {"theme/theme/other.xml", themeXml("112233", "0563C1")}});
    auto scheme = readThemePackage(package);
    ASSERT_TRUE(scheme.has_value());
    EXPECT_EQ((*scheme)[0], hex(0x000000));
    EXPECT_EQ((*scheme)[1], hex(0xFFFFFF));
    EXPECT_EQ((*scheme)[2], hex(0x44546A));
    EXPECT_EQ((*scheme)[4], hex(0x112233));
    EXPECT_EQ((*scheme)[10], hex(0x0563C1));

    // Without content types the usual part name serves.
    auto plain = readThemePackage(zipOf({{"theme/theme/theme1.xml", themeXml("445566", "0000FF")}}));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ((*plain)[4], hex(0x445566));
}

TEST(ThemePackage, DamagedOrOversizedPackagesGiveNothing)
{
    Bytes package = zipOf({{"theme/theme/theme1.xml", themeXml("445566", "0000FF")}});
    ASSERT_FALSE(package.empty());
    EXPECT_FALSE(readThemePackage(Bytes(package.begin(), package.begin() + package.size() / 2)));
    EXPECT_FALSE(readThemePackage(Bytes(300, 0x50)));
    EXPECT_FALSE(readThemePackage({}));
    EXPECT_FALSE(readThemePackage(zipOf({{"theme/theme/theme1.xml", "<a:theme><unclosed>"}})));
    EXPECT_FALSE(readThemePackage(zipOf({{"theme/theme/theme1.xml", "<theme/>"}}))); // no colour scheme
    EXPECT_FALSE(readThemePackage(zipOf({{"other.xml", themeXml("445566", "0000FF")}})));
    // A part that inflates past the limit is refused before it is read.
    std::string huge = themeXml("445566", "0000FF");
    huge.insert(huge.size() - std::string("</a:theme>").size(), kMaxThemePart, ' ');
    EXPECT_FALSE(readThemePackage(zipOf({{"theme/theme/theme1.xml", huge}})));
}

/// THEME with its package split at `split` into a CONTINUEFRT record.
Bytes themeRecords(const Bytes& package, std::size_t split, std::uint32_t version = 0)
{
    Bytes s;
    Bytes first = frtHeader(kTheme);
    putU32(first, version);
    first.insert(first.end(), package.begin(), package.begin() + static_cast<std::ptrdiff_t>(split));
    record(s, kTheme, first);
    if (split < package.size())
        record(
            s, kContinueFrt,
            cat({frtHeader(kContinueFrt), Bytes(package.begin() + static_cast<std::ptrdiff_t>(split), package.end())}));
    return s;
}

TEST(ExactColours, ThemeRecordGivesTheColoursOfTheme)
{
    const Bytes package = zipOf({{"theme/theme/theme1.xml", themeXml("445566", "0563C1")}});
    ASSERT_GT(package.size(), 100u);
    EXPECT_EQ(cellFill(globalsWithExtension(themeRecords(package, 100), 0)), hex(0x0563C1));
    EXPECT_EQ(cellFill(globalsWithExtension(themeRecords({}, 0, kBuiltinThemeVersion), 0)), hex(0x0000FF));
    // A damaged package: the workbook still opens, the cell keeps its palette colour.
    Bytes damaged = package;
    damaged.resize(package.size() - 30);
    EXPECT_EQ(cellFill(globalsWithExtension(themeRecords(damaged, 100), 0)), hex(0x99CCFF));
    Bytes cutHeader;
    record(cutHeader, kTheme, words({kTheme, 0}));
    EXPECT_EQ(cellFill(globalsWithExtension(cutHeader, 0)), hex(0x99CCFF));
}

TEST(XlsCorpus, HyperlinkStyleTakesTheThemeHyperlinkColour)
{
    // Saved by Excel 2013 or later: the palette can only approximate the theme's #0563C1 with #0066CC.
    VELQUIN_REQUIRE_CORPUS();
    std::unique_ptr<model::WorkbookReader> reader;
    ASSERT_TRUE(openXls(test::requiredCorpusFile("internal_link.xls"), reader));
    test::BiffRecordingSink sink;
    ASSERT_TRUE(reader->readSheet(0, sink));
    const auto a1 = std::find_if(sink.cells.begin(), sink.cells.end(),
                                 [](const auto& cell) { return cell.row == 0 && cell.col == 0; });
    ASSERT_NE(a1, sink.cells.end());
    ASSERT_GE(a1->style, 0);
    const model::CellStyle& style = reader->info().cellStyles.at(static_cast<std::size_t>(a1->style));
    EXPECT_EQ(style.font.color, hex(0x0563C1));
    EXPECT_EQ(style.font.underline, model::Underline::Single);
}

} // namespace
} // namespace velquin::engine::xls
