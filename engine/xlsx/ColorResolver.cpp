// Turns the colour references of styles.xml into RGB values.
#include "engine/xlsx/ColorResolver.h"

#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace velquin::engine::xlsx {

namespace {

// The default indexed palette of the format (indexes 0-63); 64 and 65 are the system foreground and background.
constexpr std::array<std::uint32_t, 64> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x000000, 0xFFFFFF, 0xFF0000,
    0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080,
    0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080,
    0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99,
    0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99, 0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699,
    0x969696, 0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// The Office theme's colours, in the order of clrScheme.
constexpr std::array<std::uint32_t, 12> kDefaultTheme = {0x000000, 0xFFFFFF, 0x44546A, 0xE7E6E6, 0x4472C4, 0xED7D31,
                                                         0xA5A5A5, 0xFFC000, 0x5B9BD5, 0x70AD47, 0x0563C1, 0x954F72};

model::Rgb fromHex(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value)};
}

class ThemeHandler : public XmlHandler
{
public:
    ThemeHandler(std::array<model::Rgb, 12>& theme, std::string& majorFont, std::string& minorFont)
        : m_theme(theme), m_majorFont(majorFont), m_minorFont(minorFont)
    {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override
    {
        if (name == "majorFont" || name == "minorFont")
            m_font = name == "majorFont" ? &m_majorFont : &m_minorFont;
        else if (name == "latin" && m_font)
        {
            m_font->assign(attributes.get("typeface").substr(0, 256));
            m_font = nullptr;
        }
        static constexpr std::array<std::string_view, 12> kSlots = {"dk1",     "lt1",     "dk2",     "lt2",
                                                                    "accent1", "accent2", "accent3", "accent4",
                                                                    "accent5", "accent6", "hlink",   "folHlink"};
        if (name == "clrScheme")
            m_inScheme = !m_done;
        if (!m_inScheme)
            return;
        auto slot = std::find(kSlots.begin(), kSlots.end(), name);
        if (slot != kSlots.end())
        {
            m_slot = static_cast<int>(slot - kSlots.begin());
            return;
        }
        if (m_slot < 0)
            return;
        model::Rgb rgb;
        if ((name == "srgbClr" && parseArgb(attributes.get("val"), rgb)) ||
            (name == "sysClr" && parseArgb(attributes.get("lastClr"), rgb)))
        {
            m_theme[static_cast<std::size_t>(m_slot)] = rgb;
            m_slot = -1;
        }
    }

    bool sawScheme() const { return m_done; }

    void endElement(std::string_view name) override
    {
        if (name == "clrScheme" && m_inScheme)
        {
            m_inScheme = false;
            m_done = true;
        }
    }

private:
    std::array<model::Rgb, 12>& m_theme;
    std::string& m_majorFont;
    std::string& m_minorFont;
    std::string* m_font = nullptr;
    bool m_inScheme = false, m_done = false;
    int m_slot = -1;
};

double hueToRgb(double m1, double m2, double hue)
{
    if (hue < 0)
        hue += 1;
    if (hue > 1)
        hue -= 1;
    if (hue < 1.0 / 6)
        return m1 + (m2 - m1) * hue * 6;
    if (hue < 0.5)
        return m2;
    if (hue < 2.0 / 3)
        return m1 + (m2 - m1) * (2.0 / 3 - hue) * 6;
    return m1;
}

std::uint8_t toByte(double value)
{
    return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 1.0) * 255));
}

} // namespace

bool parseArgb(std::string_view text, model::Rgb& rgb)
{
    if (text.size() == 8)
        text.remove_prefix(2);
    if (text.size() != 6)
        return false;
    std::uint32_t value = 0;
    for (char c : text)
    {
        int digit = (c >= '0' && c <= '9')   ? c - '0'
                    : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                    : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                             : -1;
        if (digit < 0)
            return false;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    rgb = fromHex(value);
    return true;
}

ColorResolver::ColorResolver()
{
    for (std::size_t i = 0; i < m_theme.size(); ++i)
        m_theme[i] = fromHex(kDefaultTheme[i]);
    for (std::uint32_t value : kDefaultPalette)
        m_indexed.push_back(fromHex(value));
}

bool ColorResolver::readTheme(std::string_view themeXml)
{
    std::array<model::Rgb, 12> theme = m_theme;
    std::string major, minor;
    ThemeHandler handler(theme, major, minor);
    if (!parseXml(themeXml, handler, "theme"))
        return false;
    m_theme = theme;
    m_majorFont = std::move(major);
    m_minorFont = std::move(minor);
    return handler.sawScheme();
}

void ColorResolver::setIndexed(std::size_t index, model::Rgb rgb)
{
    if (index < m_indexed.size())
        m_indexed[index] = rgb;
}

model::Rgb ColorResolver::applyTint(model::Rgb rgb, double tint)
{
    if (tint == 0 || !std::isfinite(tint))
        return rgb;
    tint = std::clamp(tint, -1.0, 1.0);
    double r = rgb.r / 255.0, g = rgb.g / 255.0, b = rgb.b / 255.0;
    double maxC = std::max({r, g, b}), minC = std::min({r, g, b});
    double lum = (maxC + minC) / 2;
    double sat = 0, hue = 0;
    if (maxC != minC)
    {
        double delta = maxC - minC;
        sat = lum <= 0.5 ? delta / (maxC + minC) : delta / (2 - maxC - minC);
        if (maxC == r)
            hue = (g - b) / delta;
        else if (maxC == g)
            hue = 2 + (b - r) / delta;
        else
            hue = 4 + (r - g) / delta;
        hue /= 6;
        if (hue < 0)
            hue += 1;
    }
    lum = tint < 0 ? lum * (1 + tint) : lum * (1 - tint) + tint;
    if (sat == 0)
        return {toByte(lum), toByte(lum), toByte(lum)};
    double m2 = lum <= 0.5 ? lum * (1 + sat) : lum + sat - lum * sat;
    double m1 = 2 * lum - m2;
    return {toByte(hueToRgb(m1, m2, hue + 1.0 / 3)), toByte(hueToRgb(m1, m2, hue)),
            toByte(hueToRgb(m1, m2, hue - 1.0 / 3))};
}

std::optional<model::Rgb> ColorResolver::themeColor(std::size_t index) const
{
    // Theme indexes swap the first two pairs of the scheme: 0 is lt1, 1 is dk1, 2 is lt2, 3 is dk2.
    static constexpr std::array<std::size_t, 4> kSwap = {1, 0, 3, 2};
    if (index < kSwap.size())
        index = kSwap[index];
    if (index < m_theme.size())
        return m_theme[index];
    return std::nullopt;
}

std::optional<model::Rgb> ColorResolver::resolve(const XmlAttributes& attributes) const
{
    std::optional<model::Rgb> rgb;
    model::Rgb value;
    if (attributes.has("rgb") && parseArgb(attributes.get("rgb"), value))
        rgb = value;
    else if (attributes.has("theme"))
    {
        long long index = attributes.integer("theme", -1);
        if (index >= 0)
            rgb = themeColor(static_cast<std::size_t>(index));
    }
    else if (attributes.has("indexed"))
    {
        long long index = attributes.integer("indexed", -1);
        if (index >= 0 && index < static_cast<long long>(m_indexed.size()))
            rgb = m_indexed[static_cast<std::size_t>(index)];
    }
    if (rgb && attributes.has("tint"))
        rgb = applyTint(*rgb, attributes.number("tint", 0));
    return rgb;
}

} // namespace velquin::engine::xlsx
