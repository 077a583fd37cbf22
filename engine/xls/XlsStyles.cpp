// FONT, XF and PALETTE parsing and the resolution of XFs into effective styles.
#include "engine/xls/XlsStyles.h"

#include "engine/model/NumberFormats.h"
#include "engine/xlsx/ColorResolver.h"

#include <algorithm>

namespace velquin::engine::xls {

namespace {

constexpr std::uint32_t kDefaultPalette[56] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

model::Rgb rgb(std::uint32_t v)
{
    return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

// The colour scheme of the theme Excel 2007 shipped with. Its files name it by version number alone.
constexpr std::uint32_t kExcel2007Theme[12] = {0x000000, 0xFFFFFF, 0x1F497D, 0xEEECE1, 0x4F81BD, 0xC0504D,
                                               0x9BBB59, 0x8064A2, 0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

// ExtProp types of XFEXT.
constexpr std::uint16_t kExtFillForeground = 4, kExtFillBackground = 5, kExtBorderTop = 7, kExtBorderBottom = 8,
                        kExtBorderLeft = 9, kExtBorderRight = 10, kExtBorderDiagonal = 11, kExtText = 13;

constexpr model::Pattern kPatterns[19] = {model::Pattern::None,           model::Pattern::Solid,
                                          model::Pattern::Gray50,         model::Pattern::Gray75,
                                          model::Pattern::Gray25,         model::Pattern::HorzStripe,
                                          model::Pattern::VertStripe,     model::Pattern::ReverseDiagStripe,
                                          model::Pattern::DiagStripe,     model::Pattern::DiagCross,
                                          model::Pattern::ThickDiagCross, model::Pattern::ThinHorzStripe,
                                          model::Pattern::ThinVertStripe, model::Pattern::ThinReverseDiagStripe,
                                          model::Pattern::ThinDiagStripe, model::Pattern::ThinHorzCross,
                                          model::Pattern::ThinDiagCross,  model::Pattern::Gray125,
                                          model::Pattern::Gray0625};

/// The palette index that stands for the system's window background rather than a colour of the palette.
constexpr std::uint16_t kSystemBackground = 65;

model::BorderEdge edge(std::uint8_t line, std::uint16_t color, const Palette& palette)
{
    using model::LineStyle;
    struct Map
    {
        LineStyle style;
        int weight;
    };
    static constexpr Map kLines[14] = {
        {LineStyle::None, 0},       {LineStyle::Continuous, 1},  {LineStyle::Continuous, 2}, {LineStyle::Dash, 1},
        {LineStyle::Dot, 1},        {LineStyle::Continuous, 3},  {LineStyle::Double, 3},     {LineStyle::Continuous, 0},
        {LineStyle::Dash, 2},       {LineStyle::DashDot, 1},     {LineStyle::DashDot, 2},    {LineStyle::DashDotDot, 1},
        {LineStyle::DashDotDot, 2}, {LineStyle::SlantDashDot, 2}};
    model::BorderEdge e;
    if (line == 0 || line >= 14)
        return e;
    e.lineStyle = kLines[line].style;
    e.weight = kLines[line].weight;
    e.color = palette.color(color);
    e.windowBackground = color == kSystemBackground;
    return e;
}

model::Underline underline(std::uint8_t uls)
{
    switch (uls)
    {
    case 0x01:
        return model::Underline::Single;
    case 0x02:
        return model::Underline::Double;
    case 0x21:
        return model::Underline::SingleAccounting;
    case 0x22:
        return model::Underline::DoubleAccounting;
    default:
        return model::Underline::None;
    }
}

std::string familyName(std::uint8_t family)
{
    switch (family)
    {
    case 1:
        return "Roman";
    case 2:
        return "Swiss";
    case 3:
        return "Modern";
    case 4:
        return "Script";
    case 5:
        return "Decorative";
    default:
        return {};
    }
}

const char* builtinStyleName(int id)
{
    switch (id)
    {
    case 0:
        return "Normal";
    case 3:
        return "Comma";
    case 4:
        return "Currency";
    case 5:
        return "Percent";
    case 6:
        return "Comma [0]";
    case 7:
        return "Currency [0]";
    case 8:
        return "Hyperlink";
    case 9:
        return "Followed Hyperlink";
    default:
        return nullptr;
    }
}

} // namespace

FontRecord parseFont(ByteCursor& c, StringReader& strings)
{
    FontRecord f;
    f.height = c.u16() / 20.0;
    std::uint16_t grbit = c.u16();
    f.italic = grbit & 0x02;
    f.strike = grbit & 0x08;
    f.outline = grbit & 0x10;
    f.shadow = grbit & 0x20;
    f.color = c.u16();
    f.weight = c.u16();
    f.script = c.u16();
    f.underline = c.u8();
    f.family = c.u8();
    f.charset = c.u8();
    c.u8();
    f.name = strings.shortString(c);
    return f;
}

void setOrientation(XfRecord& x, unsigned orientation)
{
    switch (orientation)
    {
    case 1:
        x.stacked = true;
        x.rotation = 255;
        break;
    case 2:
        x.rotation = 90;
        break;
    case 3:
        x.rotation = 180;
        break;
    default:
        break;
    }
}

XfRecord parseXf(ByteCursor& c, bool biff8)
{
    XfRecord x;
    x.font = c.u16();
    x.format = c.u16();
    std::uint16_t type = c.u16();
    x.locked = type & 0x0001;
    x.hidden = type & 0x0002;
    x.isStyle = type & 0x0004;
    x.parent = static_cast<std::uint16_t>(type >> 4);
    std::uint8_t align = c.u8();
    x.horizontal = align & 0x07;
    x.wrap = align & 0x08;
    x.vertical = (align >> 4) & 0x07;
    if (biff8)
    {
        x.rotation = c.u8();
        x.stacked = x.rotation == 255;
        std::uint8_t b8 = c.u8();
        x.indent = b8 & 0x0F;
        x.shrink = b8 & 0x10;
        x.readingOrder = (b8 >> 6) & 0x03;
        x.usedFlags = static_cast<std::uint8_t>(c.u8() >> 2);
        std::uint32_t b1 = c.u32();
        x.lineLeft = b1 & 0x0F;
        x.lineRight = (b1 >> 4) & 0x0F;
        x.lineTop = (b1 >> 8) & 0x0F;
        x.lineBottom = (b1 >> 12) & 0x0F;
        x.colorLeft = (b1 >> 16) & 0x7F;
        x.colorRight = (b1 >> 23) & 0x7F;
        x.diagonalDown = b1 & 0x40000000u;
        x.diagonalUp = b1 & 0x80000000u;
        std::uint32_t b2 = c.u32();
        x.colorTop = b2 & 0x7F;
        x.colorBottom = (b2 >> 7) & 0x7F;
        x.colorDiagonal = (b2 >> 14) & 0x7F;
        x.lineDiagonal = (b2 >> 21) & 0x0F;
        x.pattern = static_cast<std::uint8_t>((b2 >> 26) & 0x3F);
        std::uint16_t b3 = c.u16();
        x.patternColor = b3 & 0x7F;
        x.backColor = (b3 >> 7) & 0x7F;
    }
    else
    {
        std::uint8_t b7 = c.u8();
        setOrientation(x, b7 & 0x03u);
        x.usedFlags = static_cast<std::uint8_t>(b7 >> 2);
        std::uint32_t b1 = c.u32();
        x.patternColor = b1 & 0x7F;
        x.backColor = (b1 >> 7) & 0x7F;
        x.pattern = static_cast<std::uint8_t>((b1 >> 16) & 0x3F);
        x.lineBottom = (b1 >> 22) & 0x07;
        x.colorBottom = static_cast<std::uint16_t>((b1 >> 25) & 0x7F);
        std::uint32_t b2 = c.u32();
        x.lineTop = b2 & 0x07;
        x.lineLeft = (b2 >> 3) & 0x07;
        x.lineRight = (b2 >> 6) & 0x07;
        x.colorTop = (b2 >> 9) & 0x7F;
        x.colorLeft = (b2 >> 16) & 0x7F;
        x.colorRight = (b2 >> 23) & 0x7F;
    }
    return x;
}

Palette::Palette()
{
    for (int i = 0; i < 8; ++i)
        m_colors[static_cast<std::size_t>(i)] = rgb(kDefaultPalette[i]);
    for (int i = 0; i < 56; ++i)
        m_colors[static_cast<std::size_t>(i + 8)] = rgb(kDefaultPalette[i]);
    for (std::size_t i = 0; i < m_theme.size(); ++i)
        m_theme[i] = rgb(kExcel2007Theme[i]);
}

std::optional<model::Rgb> Palette::resolve(const FullColor& color) const
{
    std::optional<model::Rgb> base;
    switch (color.kind)
    {
    case FullColor::Kind::Automatic:
        return std::nullopt;
    case FullColor::Kind::Indexed:
        if (color.value < 64)
            base = m_colors[color.value];
        break;
    case FullColor::Kind::Rgb:
        base = rgb(color.value);
        break;
    case FullColor::Kind::Theme: {
        // Styles number the scheme with its first two pairs swapped: 0 is lt1, 1 is dk1, 2 is lt2, 3 is dk2.
        static constexpr std::uint32_t kSwap[4] = {1, 0, 3, 2};
        const std::uint32_t slot = color.value < 4 ? kSwap[color.value] : color.value;
        if (m_hasTheme && slot < m_theme.size())
            base = m_theme[slot];
        break;
    }
    }
    if (base && color.tint != 0)
        base = xlsx::ColorResolver::applyTint(*base, color.tint);
    return base;
}

std::uint32_t officeChecksum(std::uint32_t crc, std::span<const std::uint8_t> bytes)
{
    static const std::array<std::uint32_t, 256> kTable = [] {
        std::array<std::uint32_t, 256> table{};
        for (std::uint32_t i = 0; i < 256; ++i)
        {
            std::uint32_t value = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                value = (value & 0x80000000u) ? (value << 1) ^ 0xAFu : value << 1;
            table[i] = value;
        }
        return table;
    }();
    for (std::uint8_t byte : bytes)
        crc = (crc << 8) ^ kTable[(crc >> 24) ^ byte];
    return crc;
}

std::optional<FullColor> readFullColor(ByteCursor& c)
{
    const std::uint16_t kind = c.u16();
    const std::int16_t tint = c.i16();
    const std::uint32_t value = c.u32();
    if (!c.ok() || kind > 3)
        return std::nullopt;
    FullColor color;
    color.kind = static_cast<FullColor::Kind>(kind);
    // The tint is stored as a fraction of 32767; -32768 would reach just past -1.
    color.tint = std::max(-1.0, tint / 32767.0);
    if (color.kind == FullColor::Kind::Rgb)
        color.value = ((value & 0xFFu) << 16) | (value & 0xFF00u) | ((value >> 16) & 0xFFu); // bytes R, G, B, A
    else
        color.value = value;
    return color;
}

std::optional<std::pair<std::uint16_t, XfExtension>> parseXfExt(std::span<const std::uint8_t> payload)
{
    ByteCursor c(payload);
    c.skip(12 + 2); // FrtHeader, reserved
    const std::uint16_t ixfe = c.u16();
    c.skip(2);
    const std::uint16_t count = c.u16();
    if (!c.ok())
        return std::nullopt;
    XfExtension ext;
    for (std::uint16_t i = 0; i < count; ++i)
    {
        const std::uint16_t type = c.u16();
        const std::uint16_t size = c.u16(); // counts its own four header bytes
        if (!c.ok() || size < 4 || size - 4u > c.remaining())
            return std::nullopt;
        ByteCursor data(c.data().subspan(c.pos(), size - 4u));
        c.skip(size - 4u);
        std::optional<FullColor>* slot = nullptr;
        switch (type)
        {
        case kExtFillForeground:
            slot = &ext.fillForeground;
            break;
        case kExtFillBackground:
            slot = &ext.fillBackground;
            break;
        case kExtBorderTop:
            slot = &ext.borderTop;
            break;
        case kExtBorderBottom:
            slot = &ext.borderBottom;
            break;
        case kExtBorderLeft:
            slot = &ext.borderLeft;
            break;
        case kExtBorderRight:
            slot = &ext.borderRight;
            break;
        case kExtBorderDiagonal:
            slot = &ext.borderDiagonal;
            break;
        case kExtText:
            slot = &ext.text;
            break;
        default:
            continue; // gradients, font scheme, indent: nothing SpreadsheetML 2003 can show
        }
        std::optional<FullColor> color = readFullColor(data);
        if (!color)
            return std::nullopt;
        *slot = color;
    }
    return std::make_pair(ixfe, ext);
}

void Palette::parse(ByteCursor& c)
{
    std::size_t count = c.u16();
    for (std::size_t i = 0; i < count && i < 56 && c.remaining() >= 4; ++i)
    {
        std::uint8_t r = c.u8(), g = c.u8(), b = c.u8();
        c.u8();
        m_colors[i + 8] = {r, g, b};
    }
}

std::optional<model::Rgb> Palette::color(std::uint16_t index) const
{
    if (index < 64)
        return m_colors[index];
    return std::nullopt;
}

const FontRecord* fontAt(const StyleTables& tables, std::uint16_t index)
{
    std::size_t i = index >= 4 ? index - 1u : index;
    if (i < tables.fonts.size())
        return &tables.fonts[i];
    return tables.fonts.empty() ? nullptr : &tables.fonts[0];
}

model::Font toModelFont(const FontRecord& f, const Palette& palette)
{
    model::Font font;
    font.name = f.name;
    font.size = f.height;
    font.bold = f.weight >= 600;
    font.italic = f.italic;
    font.strike = f.strike;
    font.outline = f.outline;
    font.shadow = f.shadow;
    font.underline = underline(f.underline);
    font.verticalAlign = f.script == 1   ? model::VerticalAlign::Superscript
                         : f.script == 2 ? model::VerticalAlign::Subscript
                                         : model::VerticalAlign::None;
    font.color = palette.color(f.color);
    font.family = familyName(f.family);
    font.charset = f.charset;
    return font;
}

model::TextRun::Font toRunFont(const model::Font& m)
{
    model::TextRun::Font r;
    r.name = m.name;
    r.size = m.size;
    r.bold = m.bold;
    r.italic = m.italic;
    r.strike = m.strike;
    r.underline = static_cast<std::uint8_t>(m.underline);
    r.verticalAlign = static_cast<std::uint8_t>(m.verticalAlign);
    if (m.color)
    {
        r.hasColor = true;
        r.r = m.color->r;
        r.g = m.color->g;
        r.b = m.color->b;
    }
    return r;
}

model::TextRun::Font toRunFont(const FontRecord& f, const Palette& palette)
{
    return toRunFont(toModelFont(f, palette));
}

namespace {

void applyNumberFormat(const StyleTables& t, const XfRecord& x, model::CellStyle& s)
{
    auto it = t.formats.find(x.format);
    const std::string_view builtin = model::builtinNumberFormat(x.format);
    s.numberFormat = it != t.formats.end() ? it->second : std::string(builtin.empty() ? "General" : builtin);
    s.numberFormatId = x.format < 164 ? x.format : -1;
}

void applyFont(const StyleTables& t, const XfRecord& x, model::CellStyle& s)
{
    if (const FontRecord* f = fontAt(t, x.font))
        s.font = toModelFont(*f, t.palette);
}

void applyAlignment(const XfRecord& x, model::CellStyle& s)
{
    static constexpr model::Horizontal kHorizontal[8] = {model::Horizontal::Automatic,
                                                         model::Horizontal::Left,
                                                         model::Horizontal::Center,
                                                         model::Horizontal::Right,
                                                         model::Horizontal::Fill,
                                                         model::Horizontal::Justify,
                                                         model::Horizontal::CenterAcrossSelection,
                                                         model::Horizontal::Distributed};
    static constexpr model::Vertical kVertical[5] = {model::Vertical::Top, model::Vertical::Center,
                                                     model::Vertical::Bottom, model::Vertical::Justify,
                                                     model::Vertical::Distributed};
    auto& a = s.alignment;
    a.horizontal = kHorizontal[x.horizontal & 7];
    a.vertical = x.vertical < 5 ? kVertical[x.vertical] : model::Vertical::Bottom;
    a.wrapText = x.wrap;
    a.shrinkToFit = x.shrink;
    a.verticalText = x.stacked;
    a.rotate = x.stacked ? 0 : x.rotation <= 90 ? x.rotation : x.rotation <= 180 ? 90 - x.rotation : 0;
    a.indent = x.indent;
    a.readingOrder = x.readingOrder == 1   ? model::ReadingOrder::LeftToRight
                     : x.readingOrder == 2 ? model::ReadingOrder::RightToLeft
                                           : model::ReadingOrder::Context;
}

void applyBorders(const StyleTables& t, const XfRecord& x, model::CellStyle& s)
{
    auto& b = s.borders;
    b.left = edge(x.lineLeft, x.colorLeft, t.palette);
    b.right = edge(x.lineRight, x.colorRight, t.palette);
    b.top = edge(x.lineTop, x.colorTop, t.palette);
    b.bottom = edge(x.lineBottom, x.colorBottom, t.palette);
    b.diagonalLeft = x.diagonalDown ? edge(x.lineDiagonal, x.colorDiagonal, t.palette) : model::BorderEdge{};
    b.diagonalRight = x.diagonalUp ? edge(x.lineDiagonal, x.colorDiagonal, t.palette) : model::BorderEdge{};
}

/// A colour of a fill. Index 65 is the system's window background, which a fill shows as white.
std::optional<model::Rgb> fillColor(const Palette& palette, std::uint16_t index)
{
    constexpr std::uint16_t kWindowBackground = 65;
    if (index == kWindowBackground)
        return model::Rgb{0xFF, 0xFF, 0xFF};
    return palette.color(index);
}

void applyFill(const StyleTables& t, const XfRecord& x, model::CellStyle& s)
{
    auto& i = s.interior;
    i = {};
    if (x.pattern == 0 || x.pattern > 18)
        return;
    i.pattern = kPatterns[x.pattern];
    if (x.pattern == 1)
    {
        i.color = fillColor(t.palette, x.patternColor);
        return;
    }
    // A pattern draws its foreground colour over the cell's background colour.
    i.color = fillColor(t.palette, x.backColor);
    i.patternColor = fillColor(t.palette, x.patternColor);
}

// Puts the exact colours of an XFEXT in place of the palette's: only where the XF draws something in that colour,
// and automatic colours keep what the XF says.
void applyExtension(const Palette& palette, const XfRecord& x, const XfExtension& ext, unsigned groups,
                    model::CellStyle& s)
{
    auto exact = [&palette](const std::optional<FullColor>& color, std::optional<model::Rgb>& target) {
        if (!color)
            return;
        if (std::optional<model::Rgb> rgbValue = palette.resolve(*color))
            target = rgbValue;
    };
    if (groups & 0x02)
        exact(ext.text, s.font.color);
    if (groups & 0x08)
    {
        auto& b = s.borders;
        if (b.left.lineStyle != model::LineStyle::None)
            exact(ext.borderLeft, b.left.color);
        if (b.right.lineStyle != model::LineStyle::None)
            exact(ext.borderRight, b.right.color);
        if (b.top.lineStyle != model::LineStyle::None)
            exact(ext.borderTop, b.top.color);
        if (b.bottom.lineStyle != model::LineStyle::None)
            exact(ext.borderBottom, b.bottom.color);
        if (b.diagonalLeft.lineStyle != model::LineStyle::None)
            exact(ext.borderDiagonal, b.diagonalLeft.color);
        if (b.diagonalRight.lineStyle != model::LineStyle::None)
            exact(ext.borderDiagonal, b.diagonalRight.color);
    }
    if ((groups & 0x10) && x.pattern != 0 && x.pattern <= 18)
    {
        // As with the palette indexes: a solid fill is its foreground colour; other patterns draw the foreground
        // over the background.
        if (x.pattern == 1)
            exact(ext.fillForeground, s.interior.color);
        else
        {
            exact(ext.fillBackground, s.interior.color);
            exact(ext.fillForeground, s.interior.patternColor);
        }
    }
}

void applyAll(const StyleTables& t, const XfRecord& x, unsigned groups, model::CellStyle& s)
{
    if (groups & 0x01)
        applyNumberFormat(t, x, s);
    if (groups & 0x02)
        applyFont(t, x, s);
    if (groups & 0x04)
        applyAlignment(x, s);
    if (groups & 0x08)
        applyBorders(t, x, s);
    if (groups & 0x10)
        applyFill(t, x, s);
    if (groups & 0x20)
        s.protection = {x.locked, x.hidden};
}

/// The XFEXT of an XF, unless the XFs changed since the extensions were written (an older Excel saved the file
/// again and kept records it does not understand).
const XfExtension* extensionOf(const StyleTables& t, std::size_t xf)
{
    if (t.extendedXfCount && (*t.extendedXfCount != t.xfs.size() || t.extendedXfChecksum != t.xfChecksum))
        return nullptr;
    auto it = t.extensions.find(static_cast<std::uint16_t>(xf));
    return it != t.extensions.end() ? &it->second : nullptr;
}

} // namespace

void buildStyles(const StyleTables& t, std::vector<model::CellStyle>& cellStyles,
                 std::vector<model::NamedStyle>& namedStyles)
{
    // Every XF is complete in itself. A cell XF's "used" bits only say which groups differ from its style when it
    // was made: Excel shows the cell XF's own number format, font, alignment, borders, fill and protection whatever
    // the bits say.
    std::vector<model::CellStyle> resolved(t.xfs.size());
    for (std::size_t i = 0; i < t.xfs.size(); ++i)
        if (t.xfs[i].isStyle)
        {
            applyAll(t, t.xfs[i], 0x3F, resolved[i]);
            if (const XfExtension* ext = extensionOf(t, i))
                applyExtension(t.palette, t.xfs[i], *ext, 0x3F, resolved[i]);
        }

    namedStyles.clear();
    std::map<std::uint16_t, int> namedByXf;
    auto addNamed = [&](std::uint16_t xf, std::string name, int builtinId) {
        model::NamedStyle n;
        n.name = std::move(name);
        n.builtinId = builtinId;
        if (xf < resolved.size())
            n.style = resolved[xf];
        namedByXf[xf] = static_cast<int>(namedStyles.size());
        namedStyles.push_back(std::move(n));
    };
    std::uint16_t normalXf = 0;
    for (const auto& [xf, entry] : t.styles)
        if (entry.second == 0)
            normalXf = xf;
    addNamed(normalXf, "Normal", 0);
    for (const auto& [xf, entry] : t.styles)
    {
        if (xf == normalXf || namedByXf.count(xf))
            continue;
        std::string name = entry.first;
        if (entry.second >= 0 && name.empty())
        {
            const char* builtin = builtinStyleName(entry.second);
            if (!builtin)
                continue;
            name = builtin;
        }
        if (!name.empty())
            addNamed(xf, name, entry.second);
    }

    cellStyles.assign(t.xfs.size(), model::CellStyle{});
    for (std::size_t i = 0; i < t.xfs.size(); ++i)
    {
        const XfRecord& x = t.xfs[i];
        model::CellStyle& s = cellStyles[i];
        if (x.isStyle)
        {
            s = resolved[i];
            auto it = namedByXf.find(static_cast<std::uint16_t>(i));
            s.parentStyle = it != namedByXf.end() ? it->second : 0;
            continue;
        }
        const unsigned own = 0x3F;
        if (x.parent < t.xfs.size() && t.xfs[x.parent].isStyle)
        {
            s = resolved[x.parent];
            auto it = namedByXf.find(x.parent);
            s.parentStyle = it != namedByXf.end() ? it->second : 0;
        }
        else
        {
            s.parentStyle = 0;
        }
        applyAll(t, x, own, s);
        if (const XfExtension* ext = extensionOf(t, i))
            applyExtension(t.palette, x, *ext, own, s);
    }
}

} // namespace velquin::engine::xls
