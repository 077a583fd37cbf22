// Turns the colour references of styles.xml (rgb, theme with tint, indexed, auto) into RGB values.
#pragma once

#include "engine/model/Style.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class XmlAttributes;

class ColorResolver
{
public:
    ColorResolver();

    /// Reads the colour scheme of a theme part (and the Latin typefaces of its font scheme, which fonts marked
    /// with a scheme use in place of their own name) (dk1, lt1, dk2, lt2, accent1-6, hlink, folHlink). Parts that are
    /// not understood leave the Office default scheme in place and give false, as does a theme without a colour
    /// scheme.
    bool readTheme(std::string_view themeXml);
    /// Replaces an entry of the indexed palette (styles.xml colors/indexedColors).
    void setIndexed(std::size_t index, model::Rgb rgb);

    /// The colour an element such as <color rgb="FF112233"/> or <fgColor theme="4" tint="0.4"/> names. Nothing
    /// for automatic colours and for references that do not resolve.
    std::optional<model::Rgb> resolve(const XmlAttributes& attributes) const;

    /// Lightens (tint > 0) or darkens (tint < 0) a colour in HLS space the way Office applies tints.
    static model::Rgb applyTint(model::Rgb rgb, double tint);

    /// A theme colour by the index styles use (0 lt1, 1 dk1, 2 lt2, 3 dk2, 4-9 accents, 10 hlink, 11 folHlink);
    /// nothing past the end.
    std::optional<model::Rgb> themeColor(std::size_t index) const;

    /// An entry of the indexed palette; nothing past its end (64 and 65, the system's colours, included).
    std::optional<model::Rgb> indexedColor(std::size_t index) const
    {
        if (index < m_indexed.size())
            return m_indexed[index];
        return std::nullopt;
    }

    /// The theme's Latin typeface for headings ("major") and body text ("minor"); empty when the theme has none.
    const std::string& majorFont() const { return m_majorFont; }
    const std::string& minorFont() const { return m_minorFont; }

private:
    std::array<model::Rgb, 12> m_theme;
    std::vector<model::Rgb> m_indexed;
    std::string m_majorFont, m_minorFont;
};

/// Parses "FFRRGGBB" or "RRGGBB"; false for anything else.
bool parseArgb(std::string_view text, model::Rgb& rgb);

} // namespace velquin::engine::xlsx
