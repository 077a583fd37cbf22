// Reads styles.xml into complete cell formats.
#include "engine/xlsx/StylesReader.h"

#include "engine/model/DifferentialStyle.h"
#include "engine/model/NumberFormats.h"
#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <tuple>

namespace velquin::engine::xlsx {

using namespace model;

Underline underlineOf(std::string_view value)
{
    if (value == "double")
        return Underline::Double;
    if (value == "singleAccounting")
        return Underline::SingleAccounting;
    if (value == "doubleAccounting")
        return Underline::DoubleAccounting;
    if (value == "none")
        return Underline::None;
    return Underline::Single;
}

VerticalAlign verticalAlignOf(std::string_view value)
{
    return value == "superscript" ? VerticalAlign::Superscript
           : value == "subscript" ? VerticalAlign::Subscript
                                  : VerticalAlign::None;
}

namespace {

constexpr std::size_t kMaxRecords = kMaxStyleRecords;
using XfRecord = StyleParts::Xf;

int triState(const XmlAttributes& attributes, std::string_view name)
{
    if (!attributes.has(name))
        return -1;
    return attributes.flag(name, true) ? 1 : 0;
}

int boundedIndex(const XmlAttributes& attributes, std::string_view name)
{
    long long value = attributes.integer(name, 0);
    return value < 0 || value > 100000000 ? 0 : static_cast<int>(value);
}

Horizontal horizontalOf(std::string_view value)
{
    if (value == "left")
        return Horizontal::Left;
    if (value == "center")
        return Horizontal::Center;
    if (value == "right")
        return Horizontal::Right;
    if (value == "fill")
        return Horizontal::Fill;
    if (value == "justify")
        return Horizontal::Justify;
    if (value == "centerContinuous")
        return Horizontal::CenterAcrossSelection;
    if (value == "distributed")
        return Horizontal::Distributed;
    return Horizontal::Automatic;
}

Vertical verticalOf(std::string_view value)
{
    if (value == "top")
        return Vertical::Top;
    if (value == "center")
        return Vertical::Center;
    if (value == "justify")
        return Vertical::Justify;
    if (value == "distributed")
        return Vertical::Distributed;
    return Vertical::Bottom;
}

Pattern patternOf(std::string_view value)
{
    static constexpr std::array<std::pair<std::string_view, Pattern>, 19> kPatterns = {{
        {"solid", Pattern::Solid},
        {"darkGray", Pattern::Gray75},
        {"mediumGray", Pattern::Gray50},
        {"lightGray", Pattern::Gray25},
        {"gray125", Pattern::Gray125},
        {"gray0625", Pattern::Gray0625},
        {"darkHorizontal", Pattern::HorzStripe},
        {"darkVertical", Pattern::VertStripe},
        {"darkDown", Pattern::ReverseDiagStripe},
        {"darkUp", Pattern::DiagStripe},
        {"darkGrid", Pattern::DiagCross},
        {"darkTrellis", Pattern::ThickDiagCross},
        {"lightHorizontal", Pattern::ThinHorzStripe},
        {"lightVertical", Pattern::ThinVertStripe},
        {"lightDown", Pattern::ThinReverseDiagStripe},
        {"lightUp", Pattern::ThinDiagStripe},
        {"lightGrid", Pattern::ThinHorzCross},
        {"lightTrellis", Pattern::ThinDiagCross},
        {"none", Pattern::None},
    }};
    for (const auto& [name, pattern] : kPatterns)
    {
        if (name == value)
            return pattern;
    }
    return Pattern::None;
}

BorderEdge edgeOf(std::string_view style)
{
    static constexpr std::array<std::tuple<std::string_view, LineStyle, int>, 13> kStyles = {{
        {"thin", LineStyle::Continuous, 1},
        {"medium", LineStyle::Continuous, 2},
        {"thick", LineStyle::Continuous, 3},
        {"hair", LineStyle::Continuous, 0},
        {"dashed", LineStyle::Dash, 1},
        {"mediumDashed", LineStyle::Dash, 2},
        {"dotted", LineStyle::Dot, 1},
        {"double", LineStyle::Double, 3},
        {"dashDot", LineStyle::DashDot, 1},
        {"mediumDashDot", LineStyle::DashDot, 2},
        {"dashDotDot", LineStyle::DashDotDot, 1},
        {"mediumDashDotDot", LineStyle::DashDotDot, 2},
        {"slantDashDot", LineStyle::SlantDashDot, 2},
    }};
    BorderEdge edge;
    for (const auto& [name, line, weight] : kStyles)
    {
        if (name == style)
        {
            edge.lineStyle = line;
            edge.weight = weight;
        }
    }
    return edge;
}

// A differential format as it is being read: only what it sets.
struct Differential
{
    std::optional<Rgb> fontColor, fill;
    std::optional<bool> bold, italic, strike;
    std::optional<Underline> underline;

    std::string css() const
    {
        const std::optional<bool> underlined =
            underline ? std::optional<bool>(*underline != Underline::None) : std::nullopt;
        return conditionCss({fontColor, fill, bold, italic, underlined, strike});
    }
};

class StylesHandler : public XmlHandler, public StyleParts
{
public:
    StylesHandler(const ColorResolver& colors) : m_colors(colors) {}

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (++m_records > kMaxRecords * 4)
        {
            stopReason = {EngineErrc::LimitExceeded, "styles.xml has too many elements"};
            return;
        }
        if (name == "numFmts" || name == "fonts" || name == "fills" || name == "borders" || name == "cellXfs" ||
            name == "cellStyleXfs" || name == "cellStyles" || name == "dxfs" || name == "colors" || name == "extLst")
        {
            m_section = name;
            return;
        }
        if (m_section == "extLst" || m_section == "colors")
            return;
        if (m_section == "dxfs")
            dxfElement(name, a);
        else if (m_section == "numFmts" && name == "numFmt")
            numberFormats.emplace_back(boundedIndex(a, "numFmtId"), std::string(a.get("formatCode")));
        else if (m_section == "fonts")
            fontElement(name, a);
        else if (m_section == "fills")
            fillElement(name, a);
        else if (m_section == "borders")
            borderElement(name, a);
        else if (m_section == "cellXfs" || m_section == "cellStyleXfs")
            xfElement(name, a, m_section == "cellXfs" ? cellXfs : styleXfs);
        else if (m_section == "cellStyles" && name == "cellStyle")
            cellStyles.push_back({std::string(a.get("name")), boundedIndex(a, "xfId"),
                                  a.has("builtinId") ? boundedIndex(a, "builtinId") : -1});
    }

    void endElement(std::string_view name) override
    {
        if (name == m_section)
            m_section = {};
        if (m_section == "fills" && name == "gradientFill")
            m_inGradient = false;
        if (m_section == "dxfs" && name == "dxf")
            differentials.push_back(m_dxf.css());
    }

private:
    void fontElement(std::string_view name, const XmlAttributes& a)
    {
        if (name == "font")
        {
            fonts.emplace_back();
            // Absent children mean the format's defaults, not the model's.
            fonts.back().name = "Calibri";
            fonts.back().size = 11;
            return;
        }
        if (fonts.empty())
            return;
        Font& font = fonts.back();
        if (name == "name")
            font.name = a.get("val");
        else if (name == "sz")
            font.size = a.number("val", 11);
        else if (name == "b")
            font.bold = a.flag("val", true);
        else if (name == "i")
            font.italic = a.flag("val", true);
        else if (name == "strike")
            font.strike = a.flag("val", true);
        else if (name == "outline")
            font.outline = a.flag("val", true);
        else if (name == "shadow")
            font.shadow = a.flag("val", true);
        else if (name == "u")
            font.underline = underlineOf(a.get("val"));
        else if (name == "vertAlign")
            font.verticalAlign = verticalAlignOf(a.get("val"));
        else if (name == "color")
            font.color = m_colors.resolve(a);
        else if (name == "family")
        {
            static constexpr std::array<std::string_view, 6> kFamilies = {"",       "Roman",  "Swiss",
                                                                          "Modern", "Script", "Decorative"};
            long long family = a.integer("val", 0);
            font.family = family > 0 && family < 6 ? kFamilies[static_cast<std::size_t>(family)] : "";
        }
        else if (name == "charset")
            font.charset = static_cast<int>(std::clamp(a.integer("val", 0), 0LL, 255LL));
        else if (name == "scheme")
        {
            // A font of the theme's scheme shows the theme's Latin typeface whatever name it was saved with.
            std::string_view scheme = a.get("val");
            const std::string& face = scheme == "minor"   ? m_colors.minorFont()
                                      : scheme == "major" ? m_colors.majorFont()
                                                          : std::string();
            if (!face.empty() && face != font.name)
            {
                font.name = face;
                font.charset = 0;
            }
        }
    }

    void fillElement(std::string_view name, const XmlAttributes& a)
    {
        if (name == "fill")
        {
            fills.emplace_back();
            m_inGradient = false;
            return;
        }
        if (fills.empty())
            return;
        Interior& fill = fills.back();
        if (name == "patternFill")
            fill.pattern = patternOf(a.get("patternType", "none"));
        else if (name == "fgColor" && !m_inGradient)
            fill.patternColor = m_colors.resolve(a);
        else if (name == "bgColor" && !m_inGradient)
            fill.color = m_colors.resolve(a);
        else if (name == "gradientFill")
        {
            m_inGradient = true;
            fill.pattern = Pattern::Solid;
        }
        else if (name == "color" && m_inGradient && !fill.color)
            fill.color = m_colors.resolve(a);
    }

    void borderElement(std::string_view name, const XmlAttributes& a)
    {
        if (name == "border")
        {
            borders.emplace_back();
            m_diagonalUp = a.flag("diagonalUp", false);
            m_diagonalDown = a.flag("diagonalDown", false);
            m_edge = nullptr;
            return;
        }
        if (borders.empty())
            return;
        Borders& border = borders.back();
        if (name == "color")
        {
            if (m_edge && m_edge->lineStyle != LineStyle::None)
            {
                m_edge->color = m_colors.resolve(a);
                // Index 65 is the system's window background, which SpreadsheetML names rather than spells.
                m_edge->windowBackground = !m_edge->color && a.integer("indexed", -1) == 65;
            }
            if (m_edge == &border.diagonalRight && border.diagonalLeft.lineStyle != LineStyle::None)
            {
                border.diagonalLeft.color = m_edge->color;
                border.diagonalLeft.windowBackground = m_edge->windowBackground;
            }
            return;
        }
        m_edge = nullptr;
        if (name == "left" || name == "start")
            m_edge = &border.left;
        else if (name == "right" || name == "end")
            m_edge = &border.right;
        else if (name == "top")
            m_edge = &border.top;
        else if (name == "bottom")
            m_edge = &border.bottom;
        else if (name == "diagonal")
        {
            // One diagonal element serves both directions; the border's flags say which are drawn.
            BorderEdge edge = edgeOf(a.get("style"));
            if (m_diagonalDown)
                border.diagonalLeft = edge;
            if (m_diagonalUp)
                border.diagonalRight = edge;
            m_edge = m_diagonalUp ? &border.diagonalRight : m_diagonalDown ? &border.diagonalLeft : nullptr;
            return;
        }
        if (m_edge)
            *m_edge = edgeOf(a.get("style"));
    }

    void xfElement(std::string_view name, const XmlAttributes& a, std::vector<XfRecord>& xfs)
    {
        if (name == "xf")
        {
            XfRecord xf;
            xf.numFmtId = boundedIndex(a, "numFmtId");
            xf.fontId = boundedIndex(a, "fontId");
            xf.fillId = boundedIndex(a, "fillId");
            xf.borderId = boundedIndex(a, "borderId");
            xf.xfId = boundedIndex(a, "xfId");
            xf.applyNumFmt = triState(a, "applyNumberFormat");
            xf.applyFont = triState(a, "applyFont");
            xf.applyFill = triState(a, "applyFill");
            xf.applyBorder = triState(a, "applyBorder");
            xf.applyAlignment = triState(a, "applyAlignment");
            xf.applyProtection = triState(a, "applyProtection");
            xfs.push_back(xf);
            return;
        }
        if (xfs.empty())
            return;
        XfRecord& xf = xfs.back();
        if (name == "alignment")
        {
            Alignment& al = xf.alignment;
            al.horizontal = horizontalOf(a.get("horizontal"));
            al.vertical = verticalOf(a.get("vertical", "bottom"));
            al.wrapText = a.flag("wrapText", false);
            al.shrinkToFit = a.flag("shrinkToFit", false);
            al.indent = static_cast<int>(std::clamp(a.integer("indent", 0), 0LL, 250LL));
            long long rotation = a.integer("textRotation", 0);
            if (rotation == 255)
                al.verticalText = true;
            else if (rotation > 90 && rotation <= 180)
                al.rotate = static_cast<int>(90 - rotation);
            else if (rotation >= 0 && rotation <= 90)
                al.rotate = static_cast<int>(rotation);
            long long order = a.integer("readingOrder", 0);
            al.readingOrder = order == 1   ? ReadingOrder::LeftToRight
                              : order == 2 ? ReadingOrder::RightToLeft
                                           : ReadingOrder::Context;
            if (a.get("horizontal") == "justify" && a.flag("justifyLastLine", false))
                al.horizontal = Horizontal::JustifyDistributed;
        }
        else if (name == "protection")
        {
            xf.protection.locked = a.flag("locked", true);
            xf.protection.hideFormula = a.flag("hidden", false);
        }
    }

    void dxfElement(std::string_view name, const XmlAttributes& a)
    {
        if (name == "dxf")
        {
            m_dxf = {};
            m_dxfPart = {};
        }
        else if (name == "font" || name == "fill" || name == "border" || name == "numFmt")
            m_dxfPart = name;
        else if (m_dxfPart == "font")
        {
            if (name == "b")
                m_dxf.bold = a.flag("val", true);
            else if (name == "i")
                m_dxf.italic = a.flag("val", true);
            else if (name == "strike")
                m_dxf.strike = a.flag("val", true);
            else if (name == "u")
                m_dxf.underline = underlineOf(a.get("val"));
            else if (name == "color")
                m_dxf.fontColor = m_colors.resolve(a);
        }
        // In a differential fill the cell's background is the bgColor of the pattern.
        else if (m_dxfPart == "fill" && name == "bgColor")
            m_dxf.fill = m_colors.resolve(a);
        else if (m_dxfPart == "fill" && name == "fgColor" && !m_dxf.fill)
            m_dxf.fill = m_colors.resolve(a);
    }

    const ColorResolver& m_colors;
    std::string_view m_section;
    std::size_t m_records = 0;
    bool m_inGradient = false;
    bool m_diagonalUp = false, m_diagonalDown = false;
    BorderEdge* m_edge = nullptr;
    Differential m_dxf;
    std::string_view m_dxfPart;
};

// First pass: a custom indexed palette, which comes after the formats that use it.
class PaletteHandler : public XmlHandler
{
public:
    explicit PaletteHandler(ColorResolver& colors) : m_colors(colors) {}
    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (name == "indexedColors")
            m_inPalette = true;
        else if (m_inPalette && name == "rgbColor")
        {
            Rgb rgb;
            if (parseArgb(a.get("rgb"), rgb))
                m_colors.setIndexed(m_index, rgb);
            ++m_index;
        }
    }
    void endElement(std::string_view name) override
    {
        if (name == "indexedColors")
            m_inPalette = false;
    }

private:
    ColorResolver& m_colors;
    bool m_inPalette = false;
    std::size_t m_index = 0;
};

// The "General" interior of a fill: a solid fill's colour is the pattern (foreground) colour.
Interior normalisedFill(Interior fill)
{
    if (fill.pattern == Pattern::Solid)
    {
        if (fill.patternColor)
            fill.color = fill.patternColor;
        fill.patternColor.reset();
    }
    else if (fill.pattern == Pattern::None)
        fill = {};
    return fill;
}

class StyleBuilder
{
public:
    explicit StyleBuilder(const StyleParts& parts) : m_parts(parts)
    {
        for (const auto& [id, code] : parts.numberFormats)
            m_formats.emplace_back(id, code);
    }

    CellStyle build(const XfRecord& xf, const CellStyle* parent) const
    {
        CellStyle style;
        bool inherit = parent != nullptr;
        auto own = [inherit](int apply) { return !inherit || apply != 0; };
        if (own(xf.applyFont))
            style.font = font(xf.fontId);
        else
            style.font = parent->font;
        if (own(xf.applyFill))
            style.interior = fill(xf.fillId);
        else
            style.interior = parent->interior;
        if (own(xf.applyBorder))
            style.borders = border(xf.borderId);
        else
            style.borders = parent->borders;
        style.alignment = own(xf.applyAlignment) ? xf.alignment : parent->alignment;
        style.protection = own(xf.applyProtection) ? xf.protection : parent->protection;
        if (own(xf.applyNumFmt))
            setNumberFormat(style, xf.numFmtId);
        else
        {
            style.numberFormat = parent->numberFormat;
            style.numberFormatId = parent->numberFormatId;
        }
        return style;
    }

private:
    Font font(int id) const
    {
        if (id >= 0 && static_cast<std::size_t>(id) < m_parts.fonts.size())
            return m_parts.fonts[static_cast<std::size_t>(id)];
        if (!m_parts.fonts.empty())
            return m_parts.fonts.front();
        Font fallback;
        fallback.name = "Calibri";
        fallback.size = 11;
        return fallback;
    }
    Interior fill(int id) const
    {
        if (id >= 0 && static_cast<std::size_t>(id) < m_parts.fills.size())
            return normalisedFill(m_parts.fills[static_cast<std::size_t>(id)]);
        return {};
    }
    Borders border(int id) const
    {
        if (id >= 0 && static_cast<std::size_t>(id) < m_parts.borders.size())
            return m_parts.borders[static_cast<std::size_t>(id)];
        return {};
    }
    void setNumberFormat(CellStyle& style, int id) const
    {
        for (const auto& [customId, code] : m_formats)
        {
            if (customId == id)
            {
                style.numberFormat = code;
                style.numberFormatId = model::builtinNumberFormat(id).empty() ? -1 : id;
                return;
            }
        }
        std::string_view builtin = model::builtinNumberFormat(id);
        style.numberFormat = builtin.empty() ? "General" : std::string(builtin);
        style.numberFormatId = builtin.empty() ? 0 : id;
    }

    const StyleParts& m_parts;
    std::vector<std::pair<int, std::string>> m_formats;
};

} // namespace

Status readStyles(std::string_view xml, ColorResolver& colors, StylesResult& out)
{
    StylesHandler parts(colors);
    if (!xml.empty())
    {
        PaletteHandler palette(colors);
        if (Status status = parseXml(xml, palette, "xl/styles.xml"); !status)
            return status;
        if (Status status = parseXml(xml, parts, "xl/styles.xml"); !status)
            return status;
    }
    return buildStyles(parts, out);
}

Status buildStyles(StyleParts& parts, StylesResult& out)
{
    if (parts.cellXfs.size() > kMaxRecords || parts.styleXfs.size() > kMaxRecords)
        return {EngineErrc::LimitExceeded, "the styles part has more than 262,144 cell formats"};
    StyleBuilder builder(parts);

    std::vector<CellStyle> styleFormats;
    for (const XfRecord& xf : parts.styleXfs)
        styleFormats.push_back(builder.build(xf, nullptr));
    if (styleFormats.empty())
        styleFormats.push_back(builder.build(XfRecord{}, nullptr));

    // Named styles; "Normal" goes first, and cell formats refer to styles through their xfId.
    out.namedStyles.clear();
    std::vector<int> namedByXf(styleFormats.size(), -1);
    auto addNamed = [&](const StyleParts::NamedXf& named) {
        std::size_t xf =
            static_cast<std::size_t>(named.xfId) < styleFormats.size() ? static_cast<std::size_t>(named.xfId) : 0;
        if (namedByXf[xf] < 0)
            namedByXf[xf] = static_cast<int>(out.namedStyles.size());
        out.namedStyles.push_back({named.name, styleFormats[xf], named.builtinId});
    };
    const StyleParts::NamedXf* normal = nullptr;
    for (const auto& named : parts.cellStyles)
    {
        if (named.builtinId == 0 && !normal)
            normal = &named;
    }
    StyleParts::NamedXf defaultNormal{"Normal", 0, 0};
    addNamed(normal ? *normal : defaultNormal);
    out.namedStyles.front().name = "Normal";
    for (const auto& named : parts.cellStyles)
    {
        if (&named != normal && out.namedStyles.size() < 65536)
            addNamed(named);
    }

    out.cellStyles.clear();
    for (const XfRecord& xf : parts.cellXfs)
    {
        std::size_t parentXf =
            static_cast<std::size_t>(xf.xfId) < styleFormats.size() ? static_cast<std::size_t>(xf.xfId) : 0;
        CellStyle style = builder.build(xf, &styleFormats[parentXf]);
        style.parentStyle = namedByXf[parentXf] >= 0 ? namedByXf[parentXf] : 0;
        out.cellStyles.push_back(std::move(style));
    }
    if (out.cellStyles.empty())
    {
        CellStyle style = out.namedStyles.front().style;
        style.parentStyle = 0;
        out.cellStyles.push_back(std::move(style));
    }
    out.differentialCss = std::move(parts.differentials);
    return {};
}

} // namespace velquin::engine::xlsx
