// CONDFMT, CF and CFEX payloads, and the DXFN differential format inside CF and CFEX.
#include "engine/xls/CondFmtRecords.h"

#include "engine/model/DifferentialStyle.h"
#include "engine/xls/ByteCursor.h"
#include "engine/xls/XlsFormulaContext.h"

namespace velquin::engine::xls {

namespace {

// DXFN: which optional blocks follow the two flag fields.
constexpr std::uint32_t kHasNumber = 1u << 25;
constexpr std::uint32_t kHasFont = 1u << 26;
constexpr std::uint32_t kHasAlignment = 1u << 27;
constexpr std::uint32_t kHasBorder = 1u << 28;
constexpr std::uint32_t kHasPattern = 1u << 29;
constexpr std::uint32_t kHasProtection = 1u << 30;
constexpr std::uint32_t kIgnoreForeground = 1u << 17;
constexpr std::uint32_t kIgnoreBackground = 1u << 18;
constexpr std::uint16_t kUserNumberFormat = 0x0001;

constexpr std::size_t kFontBlockSize = 118;
constexpr std::size_t kFontNameBytes = 64; ///< cchFont and the name, padded to a fixed size
constexpr std::uint32_t kTsItalic = 0x02;
constexpr std::uint32_t kTsStrikeout = 0x80;

// XFEXT property types that carry a colour (FullColorExt).
constexpr std::uint16_t kExtFillForeground = 0x0004;
constexpr std::uint16_t kExtFillBackground = 0x0005;
constexpr std::uint16_t kExtTextColor = 0x000D;

constexpr std::size_t kMaxRangeColumn = 0xFF; ///< the last column of a BIFF8 sheet

void readFont(ByteCursor& c, DifferentialFormat& f)
{
    ByteCursor font(c.bytes(kFontBlockSize));
    if (!c.ok())
        return;
    font.skip(kFontNameBytes);
    font.u32(); // height in twips: conditional formats cannot change it
    const std::uint32_t ts = font.u32();
    const std::uint16_t weight = font.u16();
    font.u16(); // super- and subscript
    const std::uint8_t underline = font.u8();
    font.skip(3);
    const auto color = font.i32();
    font.u32();
    const std::uint32_t tsIgnored = font.u32();
    font.u32(); // script ignored
    const std::uint32_t underlineIgnored = font.u32();
    const std::uint32_t weightIgnored = font.u32();
    if (!font.ok())
        return;
    if (color >= 0 && color <= 0x7FFF)
        f.fontColorIndex = static_cast<std::uint16_t>(color);
    if (!weightIgnored && weight >= 100 && weight <= 1000)
        f.bold = weight >= 700;
    if (!(tsIgnored & kTsItalic))
        f.italic = (ts & kTsItalic) != 0;
    if (!(tsIgnored & kTsStrikeout))
        f.strike = (ts & kTsStrikeout) != 0;
    if (!underlineIgnored)
        f.underline = underline != 0;
}

void readPattern(ByteCursor& c, std::uint32_t flags, DifferentialFormat& f)
{
    c.u16(); // pattern style
    const std::uint16_t colors = c.u16();
    if (!c.ok())
        return;
    // A solid fill is drawn in the pattern's background colour; the foreground only shows through other patterns.
    if (!(flags & kIgnoreBackground))
        f.fillColorIndex = static_cast<std::uint16_t>((colors >> 7) & 0x7F);
    else if (!(flags & kIgnoreForeground))
        f.fillColorIndex = static_cast<std::uint16_t>(colors & 0x7F);
}

/// Reads a DXFN structure; false when it does not fit in what remains.
bool readDxfn(ByteCursor& c, DifferentialFormat& f)
{
    const std::uint32_t flags = c.u32();
    const std::uint16_t more = c.u16();
    if (!c.ok())
        return false;
    if (flags & kHasNumber)
    {
        if (more & kUserNumberFormat)
        {
            const std::uint16_t size = c.u16(); // counts itself
            if (size < 2)
                return false;
            c.skip(size - 2u);
        }
        else
        {
            c.skip(2);
        }
    }
    if (flags & kHasFont)
        readFont(c, f);
    if (flags & kHasAlignment)
        c.skip(8);
    if (flags & kHasBorder)
        c.skip(8);
    if (flags & kHasPattern)
        readPattern(c, flags, f);
    if (flags & kHasProtection)
        c.skip(2);
    return c.ok();
}

/// Reads the colours of an XFExtNoFRT block: the exact colours Excel 2007 and later keep beside the palette
/// indexes. Automatic colours leave the palette index in place.
void readColorExtensions(ByteCursor& c, CfExRecord& out)
{
    c.skip(6);
    const std::uint16_t count = c.u16();
    std::optional<FullColor> fillForeground;
    for (std::uint16_t i = 0; i < count && c.ok(); ++i)
    {
        const std::uint16_t type = c.u16();
        const std::uint16_t size = c.u16(); // counts the four header bytes
        if (!c.ok() || size < 4)
            return;
        ByteCursor data(c.bytes(size - 4u));
        if (!c.ok())
            return;
        if (type != kExtFillForeground && type != kExtFillBackground && type != kExtTextColor)
            continue;
        std::optional<FullColor> color = readFullColor(data);
        if (color && color->kind == FullColor::Kind::Automatic)
            color.reset();
        if (type == kExtTextColor)
            out.fontColor = color;
        else if (type == kExtFillBackground)
            out.fillColor = color;
        else
            fillForeground = color;
    }
    if (!out.fillColor)
        out.fillColor = fillForeground;
}

} // namespace

std::string DifferentialFormat::css(const Palette& palette) const
{
    auto resolve = [&palette](const std::optional<FullColor>& exact,
                              const std::optional<std::uint16_t>& index) -> std::optional<model::Rgb> {
        if (exact)
            if (std::optional<model::Rgb> rgb = palette.resolve(*exact))
                return rgb;
        if (index)
            return palette.color(*index);
        return std::nullopt;
    };
    return model::conditionCss(
        {resolve(fontColor, fontColorIndex), resolve(fillColor, fillColorIndex), bold, italic, underline, strike});
}

std::optional<CondFmtRecord> parseCondFmt(std::span<const std::uint8_t> payload)
{
    ByteCursor c(payload);
    CondFmtRecord out;
    out.ruleCount = c.u16();
    out.id = static_cast<std::uint16_t>(c.u16() >> 1);
    c.skip(8); // the bounding box of the ranges
    const std::uint16_t count = c.u16();
    bool first = true;
    for (std::uint16_t i = 0; i < count; ++i)
    {
        const std::uint32_t firstRow = c.u16(), lastRow = c.u16();
        const std::uint32_t firstCol = c.u16(), lastCol = c.u16();
        if (!c.ok())
            break;
        if (firstRow > lastRow || firstCol > lastCol || lastCol > kMaxRangeColumn)
            continue;
        if (first)
        {
            out.firstRow = firstRow;
            out.firstCol = firstCol;
            first = false;
        }
        else
        {
            out.rangeR1C1 += ',';
        }
        out.rangeR1C1 += absoluteRangeR1C1(firstRow, firstCol, lastRow, lastCol);
    }
    if (out.ruleCount == 0 || out.rangeR1C1.empty())
        return std::nullopt;
    return out;
}

std::optional<CfRecord> parseCf(std::span<const std::uint8_t> payload)
{
    ByteCursor c(payload);
    CfRecord out;
    out.type = c.u8();
    out.comparison = c.u8();
    const std::uint16_t size1 = c.u16();
    const std::uint16_t size2 = c.u16();
    if (!c.ok() || !readDxfn(c, out.format))
        return std::nullopt;
    out.rgce1 = c.bytes(size1);
    out.rgce2 = c.bytes(size2);
    if (!c.ok())
        return std::nullopt;
    return out;
}

std::optional<CfExRecord> parseCfEx(std::span<const std::uint8_t> payload)
{
    ByteCursor c(payload);
    c.skip(12); // future-record header with the ranges' bounding box
    const std::uint32_t extendsNewerRule = c.u32();
    CfExRecord out;
    out.id = c.u16();
    out.ruleIndex = c.u16();
    c.skip(4); // comparison, template, priority
    c.u8();    // active, stop if true
    const std::uint8_t hasFormat = c.u8();
    if (!c.ok() || extendsNewerRule != 0)
        return std::nullopt;
    if (!hasFormat)
        return out;
    const std::uint32_t size = c.u32();
    if (size == 0)
        return out;
    ByteCursor format(c.bytes(size));
    DifferentialFormat unused;
    if (!c.ok() || !readDxfn(format, unused))
        return std::nullopt;
    if (!format.atEnd())
        readColorExtensions(format, out);
    return out;
}

} // namespace velquin::engine::xls
