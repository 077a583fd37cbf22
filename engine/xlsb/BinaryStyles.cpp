// Reads the binary styles part.
#include "engine/xlsb/BinaryStyles.h"

#include "engine/model/DifferentialStyle.h"
#include "engine/xlsb/RecordReader.h"
#include "engine/xlsb/RecordTypes.h"
#include "engine/xlsb/WideString.h"
#include "engine/xlsx/ColorResolver.h"

#include <array>
#include <utility>

namespace velquin::engine::xlsb {

using namespace model;

namespace {

constexpr std::size_t kMaxRecords = xlsx::kMaxStyleRecords;

bool readColor(ByteCursor& c, const xlsx::ColorResolver& colors, std::optional<Rgb>& color)
{
    std::span<const std::uint8_t> bytes;
    if (!c.readBytes(8, bytes))
        return false;
    color = binaryColor(bytes.first<8>(), colors);
    return true;
}

// The fill patterns in the order the format numbers them (0 none, 1 solid, 2 medium grey, ...).
constexpr std::array<Pattern, 19> kPatterns = {
    Pattern::None,           Pattern::Solid,          Pattern::Gray50,         Pattern::Gray75,
    Pattern::Gray25,         Pattern::HorzStripe,     Pattern::VertStripe,     Pattern::ReverseDiagStripe,
    Pattern::DiagStripe,     Pattern::DiagCross,      Pattern::ThickDiagCross, Pattern::ThinHorzStripe,
    Pattern::ThinVertStripe, Pattern::ThinReverseDiagStripe, Pattern::ThinDiagStripe, Pattern::ThinHorzCross,
    Pattern::ThinDiagCross,  Pattern::Gray125,        Pattern::Gray0625};
constexpr std::uint32_t kGradientFill = 0x28;

// Line styles by number: none, thin, medium, dashed, dotted, thick, double, hair, medium dashed, dash-dot,
// medium dash-dot, dash-dot-dot, medium dash-dot-dot, slanted dash-dot.
constexpr std::array<std::pair<LineStyle, int>, 14> kLines = {{
    {LineStyle::None, 0},
    {LineStyle::Continuous, 1},
    {LineStyle::Continuous, 2},
    {LineStyle::Dash, 1},
    {LineStyle::Dot, 1},
    {LineStyle::Continuous, 3},
    {LineStyle::Double, 3},
    {LineStyle::Continuous, 0},
    {LineStyle::Dash, 2},
    {LineStyle::DashDot, 1},
    {LineStyle::DashDot, 2},
    {LineStyle::DashDotDot, 1},
    {LineStyle::DashDotDot, 2},
    {LineStyle::SlantDashDot, 2},
}};

Underline underlineOf(std::uint8_t value)
{
    switch (value)
    {
    case 0x01:
        return Underline::Single;
    case 0x02:
        return Underline::Double;
    case 0x21:
        return Underline::SingleAccounting;
    case 0x22:
        return Underline::DoubleAccounting;
    default:
        return Underline::None;
    }
}

class StyleRecords
{
public:
    explicit StyleRecords(xlsx::ColorResolver& colors) : m_colors(colors) {}

    xlsx::StyleParts parts;

    /// False when the record is cut short.
    bool read(const Record& record, Status& status)
    {
        if (++m_records > kMaxRecords * 4)
        {
            status = {EngineErrc::LimitExceeded, "the styles part has too many records"};
            return true;
        }
        ByteCursor c(record.body);
        switch (record.type)
        {
        case rt::BrtBeginCellXFs:
            m_inCellXfs = true;
            return true;
        case rt::BrtEndCellXFs:
            m_inCellXfs = false;
            return true;
        case rt::BrtFmt: {
            std::uint16_t id = 0;
            std::string code;
            if (!c.readU16(id) || !readWideString(c, code))
                return false;
            parts.numberFormats.emplace_back(id, std::move(code));
            return true;
        }
        case rt::BrtFont:
            return font(c);
        case rt::BrtFill:
            return fill(c);
        case rt::BrtBorder:
            return border(c);
        case rt::BrtXF:
            return xf(c);
        case rt::BrtStyle:
            return style(c);
        case rt::BrtDXF:
            return differential(c);
        default:
            return true;
        }
    }

    /// The part's own palette comes before the formats that use it.
    static bool palette(const Record& record, xlsx::ColorResolver& colors, std::size_t& index)
    {
        ByteCursor c(record.body);
        std::uint8_t r = 0, g = 0, b = 0;
        if (!c.readU8(r) || !c.readU8(g) || !c.readU8(b))
            return false;
        colors.setIndexed(index++, Rgb{r, g, b});
        return true;
    }

private:
    bool font(ByteCursor& c)
    {
        std::uint16_t height = 0, flags = 0, weight = 0, script = 0;
        std::uint8_t underline = 0, family = 0, charset = 0, unused = 0, scheme = 0;
        Font font;
        if (!c.readU16(height) || !c.readU16(flags) || !c.readU16(weight) || !c.readU16(script) ||
            !c.readU8(underline) || !c.readU8(family) || !c.readU8(charset) || !c.readU8(unused) ||
            !readColor(c, m_colors, font.color) || !c.readU8(scheme) || !readWideString(c, font.name))
            return false;
        font.size = height / 20.0;
        font.italic = (flags & 0x02) != 0;
        font.strike = (flags & 0x08) != 0;
        font.outline = (flags & 0x10) != 0;
        font.shadow = (flags & 0x20) != 0;
        font.bold = weight >= 700;
        font.verticalAlign = script == 1   ? VerticalAlign::Superscript
                             : script == 2 ? VerticalAlign::Subscript
                                           : VerticalAlign::None;
        font.underline = underlineOf(underline);
        static constexpr std::array<std::string_view, 6> kFamilies = {"",       "Roman",  "Swiss",
                                                                      "Modern", "Script", "Decorative"};
        font.family = family > 0 && family < 6 ? kFamilies[family] : "";
        font.charset = charset;
        // A font of the theme's scheme shows the theme's Latin typeface whatever name it was saved with.
        const std::string& face = scheme == 1 ? m_colors.majorFont() : scheme == 2 ? m_colors.minorFont() : m_none;
        if (!face.empty() && face != font.name)
        {
            font.name = face;
            font.charset = 0;
        }
        parts.fonts.push_back(std::move(font));
        return true;
    }

    bool fill(ByteCursor& c)
    {
        std::uint32_t pattern = 0;
        Interior fill;
        std::optional<Rgb> fore, back;
        if (!c.readU32(pattern) || !readColor(c, m_colors, fore) || !readColor(c, m_colors, back))
            return false;
        if (pattern == kGradientFill)
        {
            // The first stop's colour stands for the gradient.
            std::uint32_t type = 0, stops = 0;
            fill.pattern = Pattern::Solid;
            if (c.readU32(type) && c.skip(5 * 8) && c.readU32(stops) && stops > 0)
                readColor(c, m_colors, fill.color);
        }
        else
        {
            fill.pattern = pattern < kPatterns.size() ? kPatterns[pattern] : Pattern::None;
            fill.patternColor = fore;
            fill.color = back;
        }
        parts.fills.push_back(fill);
        return true;
    }

    bool edge(ByteCursor& c, BorderEdge& edge)
    {
        std::uint8_t line = 0, reserved = 0;
        std::span<const std::uint8_t> color;
        if (!c.readU8(line) || !c.readU8(reserved) || !c.readBytes(8, color))
            return false;
        edge = {};
        if (line == 0 || line >= kLines.size())
            return true;
        edge.lineStyle = kLines[line].first;
        edge.weight = kLines[line].second;
        edge.color = binaryColor(color.first<8>(), m_colors);
        // Index 65 is the system's window background, which SpreadsheetML names rather than spells.
        edge.windowBackground = !edge.color && (color[0] >> 1) == 1 && color[1] == 65;
        return true;
    }

    bool border(ByteCursor& c)
    {
        std::uint8_t flags = 0;
        Borders border;
        BorderEdge diagonal;
        if (!c.readU8(flags) || !edge(c, border.top) || !edge(c, border.bottom) || !edge(c, border.left) ||
            !edge(c, border.right) || !edge(c, diagonal))
            return false;
        if (flags & 0x01)
            border.diagonalLeft = diagonal;
        if (flags & 0x02)
            border.diagonalRight = diagonal;
        parts.borders.push_back(border);
        return true;
    }

    bool xf(ByteCursor& c)
    {
        std::uint16_t parent = 0, format = 0, fontId = 0, fillId = 0, borderId = 0, flags = 0;
        std::uint8_t rotation = 0, indent = 0;
        if (!c.readU16(parent) || !c.readU16(format) || !c.readU16(fontId) || !c.readU16(fillId) ||
            !c.readU16(borderId) || !c.readU8(rotation) || !c.readU8(indent) || !c.readU16(flags))
            return false;
        xlsx::StyleParts::Xf xf;
        xf.xfId = parent == 0xFFFF ? 0 : parent;
        xf.numFmtId = format;
        xf.fontId = fontId;
        xf.fillId = fillId;
        xf.borderId = borderId;
        Alignment& al = xf.alignment;
        static constexpr std::array<Horizontal, 8> kHorizontal = {
            Horizontal::Automatic, Horizontal::Left,    Horizontal::Center,
            Horizontal::Right,     Horizontal::Fill,    Horizontal::Justify,
            Horizontal::CenterAcrossSelection, Horizontal::Distributed};
        static constexpr std::array<Vertical, 5> kVertical = {Vertical::Top, Vertical::Center, Vertical::Bottom,
                                                              Vertical::Justify, Vertical::Distributed};
        al.horizontal = kHorizontal[flags & 0x07];
        const unsigned vertical = (flags >> 3) & 0x07;
        al.vertical = vertical < kVertical.size() ? kVertical[vertical] : Vertical::Bottom;
        al.wrapText = (flags & 0x40) != 0;
        if (al.horizontal == Horizontal::Justify && (flags & 0x80))
            al.horizontal = Horizontal::JustifyDistributed;
        al.shrinkToFit = (flags & 0x100) != 0;
        const unsigned order = (flags >> 10) & 0x03;
        al.readingOrder = order == 1 ? ReadingOrder::LeftToRight : order == 2 ? ReadingOrder::RightToLeft
                                                                               : ReadingOrder::Context;
        if (rotation == 255)
            al.verticalText = true;
        else if (rotation > 90 && rotation <= 180)
            al.rotate = 90 - rotation;
        else if (rotation <= 90)
            al.rotate = rotation;
        al.indent = std::min<int>(indent, 250);
        xf.protection.locked = (flags & 0x1000) != 0;
        xf.protection.hideFormula = (flags & 0x2000) != 0;
        (m_inCellXfs ? parts.cellXfs : parts.styleXfs).push_back(xf);
        return true;
    }

    bool style(ByteCursor& c)
    {
        std::uint32_t xf = 0;
        std::uint16_t flags = 0;
        std::uint8_t builtin = 0, level = 0;
        xlsx::StyleParts::NamedXf named;
        if (!c.readU32(xf) || !c.readU16(flags) || !c.readU8(builtin) || !c.readU8(level) ||
            !readWideString(c, named.name))
            return false;
        named.xfId = xf < kMaxRecords ? static_cast<int>(xf) : 0;
        named.builtinId = (flags & 0x01) ? builtin : -1;
        parts.cellStyles.push_back(std::move(named));
        return true;
    }

    bool differential(ByteCursor& c)
    {
        std::uint16_t flags = 0, reserved = 0, count = 0;
        if (!c.readU16(flags) || !c.readU16(reserved) || !c.readU16(count))
            return false;
        DifferentialStyle dxf;
        std::optional<Rgb> fore, back;
        std::optional<bool> underline;
        for (std::uint16_t i = 0; i < count; ++i)
        {
            std::uint16_t type = 0, size = 0;
            std::span<const std::uint8_t> data;
            if (!c.readU16(type) || !c.readU16(size) || size < 4 || !c.readBytes(size - 4u, data))
                return false;
            ByteCursor value(data);
            std::uint16_t number = 0;
            std::uint8_t byte = 0;
            switch (type)
            {
            case 0x01: // foreground colour of the fill
                readColor(value, m_colors, fore);
                break;
            case 0x02: // background colour of the fill
                readColor(value, m_colors, back);
                break;
            case 0x05: // font colour
                readColor(value, m_colors, dxf.fontColor);
                break;
            case 0x19: // font weight
                if (value.readU16(number))
                    dxf.bold = number >= 700;
                break;
            case 0x1A: // underline
                if (value.readU16(number))
                    dxf.underline = number != 0;
                break;
            case 0x1B: // italic
                if (value.readU8(byte))
                    dxf.italic = byte != 0;
                break;
            case 0x1C: // strikethrough
                if (value.readU8(byte))
                    dxf.strike = byte != 0;
                break;
            default:
                break;
            }
        }
        // In a differential fill the cell's background is the pattern's background colour.
        dxf.fill = back ? back : fore;
        parts.differentials.push_back(conditionCss(dxf));
        return true;
    }

    xlsx::ColorResolver& m_colors;
    std::size_t m_records = 0;
    bool m_inCellXfs = false;
    const std::string m_none;
};

} // namespace

std::optional<Rgb> binaryColor(std::span<const std::uint8_t, 8> bytes, const xlsx::ColorResolver& colors)
{
    const unsigned type = bytes[0] >> 1;
    const std::uint8_t index = bytes[1];
    const auto tint = static_cast<std::int16_t>(bytes[2] | (bytes[3] << 8));
    std::optional<Rgb> rgb;
    switch (type)
    {
    case 1:
        rgb = colors.indexedColor(index);
        break;
    case 2:
        rgb = Rgb{bytes[4], bytes[5], bytes[6]};
        break;
    case 3:
        rgb = colors.themeColor(index);
        break;
    default:
        return std::nullopt;
    }
    if (rgb && tint != 0)
        rgb = xlsx::ColorResolver::applyTint(*rgb, tint / 32767.0);
    return rgb;
}

Status readBinaryStyles(std::span<const std::uint8_t> bytes, const std::string& partName,
                        xlsx::ColorResolver& colors, xlsx::StylesResult& out, std::vector<Font>& fonts)
{
    // First pass: the palette, which comes after the formats that use it.
    {
        RecordReader reader(bytes, partName);
        std::size_t index = 0;
        Status status = forEachRecord(reader, [&](const Record& record, bool&) -> Status {
            if (record.type == rt::BrtIndexedColor && !StyleRecords::palette(record, colors, index))
                return {EngineErrc::DamagedFile, partName + ": a palette entry is cut short"};
            return {};
        });
        if (!status)
            return status;
    }
    StyleRecords records(colors);
    RecordReader reader(bytes, partName);
    if (Status status = readRecords(reader, records); !status)
        return status;
    fonts = records.parts.fonts;
    return xlsx::buildStyles(records.parts, out);
}

} // namespace velquin::engine::xlsb
