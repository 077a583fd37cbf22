// Cell formatting records (FONT, FORMAT, XF, STYLE, PALETTE) and their translation into effective cell styles.
#pragma once

#include "engine/model/Sheet.h"
#include "engine/model/Style.h"
#include "engine/xls/BiffStrings.h"
#include "engine/xls/ByteCursor.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xls {

struct FontRecord
{
    double height = 10; ///< points
    bool italic = false, strike = false, outline = false, shadow = false;
    std::uint16_t color = 0x7FFF;
    std::uint16_t weight = 400;
    std::uint16_t script = 0;
    std::uint8_t underline = 0;
    std::uint8_t family = 0;
    std::uint8_t charset = 0;
    std::string name;
};

/// One XF record in a version-neutral shape.
struct XfRecord
{
    std::uint16_t font = 0, format = 0;
    bool locked = true, hidden = false, isStyle = false;
    std::uint16_t parent = 0xFFF;
    std::uint8_t horizontal = 0, vertical = 2, rotation = 0, indent = 0, readingOrder = 0;
    bool wrap = false, shrink = false, stacked = false;
    std::uint8_t usedFlags = 0; ///< bit 0 number format, 1 font, 2 alignment, 3 borders, 4 fill, 5 protection
    std::uint8_t lineLeft = 0, lineRight = 0, lineTop = 0, lineBottom = 0, lineDiagonal = 0;
    std::uint16_t colorLeft = 0, colorRight = 0, colorTop = 0, colorBottom = 0, colorDiagonal = 0;
    bool diagonalDown = false, diagonalUp = false;
    std::uint8_t pattern = 0;
    std::uint16_t patternColor = 64, backColor = 65;
};

FontRecord parseFont(ByteCursor& c, StringReader& strings);
/// Sets the rotation of `x` from a two-bit text orientation (none, stacked, 90 degrees up, 90 degrees down), as
/// BIFF4 and BIFF5 XFs keep it.
void setOrientation(XfRecord& x, unsigned orientation);
XfRecord parseXf(ByteCursor& c, bool biff8);

/// A colour as Excel 2007 and later store it beside the old palette index: automatic, a palette index, an RGB
/// value or a theme colour, each with a tint (-1 darkest .. 1 lightest).
struct FullColor
{
    enum class Kind : std::uint8_t
    {
        Automatic,
        Indexed,
        Rgb,
        Theme
    };
    Kind kind = Kind::Automatic;
    std::uint32_t value = 0; ///< palette index, theme index, or the RGB colour as 0xRRGGBB
    double tint = 0;
};

/// Reads the 8 bytes of a colour (xclrType, nTintShade, xclrValue); nothing for an unknown kind or a short read.
std::optional<FullColor> readFullColor(ByteCursor& c);

/// XFEXT: the exact colours that one XF's palette indexes stand for. Kinds the record does not give stay empty.
struct XfExtension
{
    std::optional<FullColor> text, fillForeground, fillBackground;
    std::optional<FullColor> borderTop, borderBottom, borderLeft, borderRight, borderDiagonal;
};

/// Parses an XFEXT payload into the XF index it extends and its colours; nothing when the record is damaged.
std::optional<std::pair<std::uint16_t, XfExtension>> parseXfExt(std::span<const std::uint8_t> payload);

/// The colour table: the default 56 colours unless a PALETTE record replaced them, and the theme's colours.
class Palette
{
public:
    Palette();
    void parse(ByteCursor& c);
    /// The colour of an index; nothing for automatic and system colours.
    std::optional<model::Rgb> color(std::uint16_t index) const;
    /// Replaces the theme colours (in the order of a colour scheme: dk1, lt1, dk2, lt2, accent1-6, hlink,
    /// folHlink). Until then the theme is the one Excel 2007 wrote without storing it.
    void setTheme(const std::array<model::Rgb, 12>& scheme)
    {
        m_theme = scheme;
        m_hasTheme = true;
    }
    /// For a theme that could not be read: theme colours then resolve to nothing.
    void clearTheme() { m_hasTheme = false; }
    /// What a full colour comes to; nothing for automatic colours and references that do not resolve.
    std::optional<model::Rgb> resolve(const FullColor& color) const;

private:
    std::array<model::Rgb, 64> m_colors;
    std::array<model::Rgb, 12> m_theme;
    bool m_hasTheme = true;
};

/// Everything needed to turn XF records into effective styles.
struct StyleTables
{
    std::vector<FontRecord> fonts;
    std::map<std::uint16_t, std::string> formats;
    std::vector<XfRecord> xfs;
    Palette palette;
    /// STYLE records: XF index -> (name, built-in id or -1)
    std::map<std::uint16_t, std::pair<std::string, int>> styles;
    /// XFEXT records by the XF they extend (the first one for each XF).
    std::map<std::uint16_t, XfExtension> extensions;
    /// What XFCRC recorded of the XF records when the extensions were written (count and checksum), if present,
    /// and the checksum of the XF records as read.
    std::optional<std::uint16_t> extendedXfCount;
    std::uint32_t extendedXfChecksum = 0;
    std::uint32_t xfChecksum = 0;
};

/// Continues the Office checksum (a CRC with polynomial 0xAF, starting from 0) over more bytes.
std::uint32_t officeChecksum(std::uint32_t crc, std::span<const std::uint8_t> bytes);

/// The FONT record a cell's font index names (index 4 does not exist in BIFF).
const FontRecord* fontAt(const StyleTables& tables, std::uint16_t index);
model::Font toModelFont(const FontRecord& font, const Palette& palette);
model::TextRun::Font toRunFont(const FontRecord& font, const Palette& palette);
/// The font of a rich-text run that `font` gives.
model::TextRun::Font toRunFont(const model::Font& font);

/// One effective CellStyle per XF record (same indexes), and the named styles with "Normal" first.
void buildStyles(const StyleTables& tables, std::vector<model::CellStyle>& cellStyles,
                 std::vector<model::NamedStyle>& namedStyles);

} // namespace velquin::engine::xls
