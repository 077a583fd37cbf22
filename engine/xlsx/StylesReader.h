// Reads styles.xml: number formats, fonts, fills, borders, cell-style and cell formats, named styles and the
// differential formats of conditional formatting, with every colour resolved to RGB.
#pragma once

#include "engine/Error.h"
#include "engine/model/Workbook.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ColorResolver;

struct StylesResult
{
    std::vector<model::NamedStyle> namedStyles; ///< [0] is "Normal"
    std::vector<model::CellStyle> cellStyles;   ///< one per cellXfs entry; never empty
    std::vector<std::string> differentialCss;   ///< one per dxfs entry, as "color:#9C0006;background:#FFC7CE"
};

/// The pieces of a styles part before they are combined into complete cell formats: what both the XML and the
/// binary styles part hold.
struct StyleParts
{
    struct Xf
    {
        int numFmtId = 0, fontId = 0, fillId = 0, borderId = 0, xfId = 0;
        // Each group's apply flag: -1 absent, 0 off, 1 on.
        int applyNumFmt = -1, applyFont = -1, applyFill = -1, applyBorder = -1, applyAlignment = -1,
            applyProtection = -1;
        model::Alignment alignment;
        model::Protection protection;
    };
    struct NamedXf
    {
        std::string name;
        int xfId = 0;
        int builtinId = -1;
    };
    std::vector<std::pair<int, std::string>> numberFormats;
    std::vector<model::Font> fonts;
    std::vector<model::Interior> fills;
    std::vector<model::Borders> borders;
    std::vector<Xf> cellXfs, styleXfs;
    std::vector<NamedXf> cellStyles;
    std::vector<std::string> differentials;
};

/// Excel keeps at most 64,000 cell formats; four times that, with their fonts, fills and borders, bounds the memory
/// the styles take.
inline constexpr std::size_t kMaxStyleRecords = 1 << 18;

/// The underline a font's u element names: "single" when the value is absent or unknown.
model::Underline underlineOf(std::string_view value);
/// The vertical alignment a font's vertAlign element names.
model::VerticalAlign verticalAlignOf(std::string_view value);

/// Combines the parts into named styles and complete cell formats (parents applied, "Normal" first). Errors:
/// LimitExceeded.
Status buildStyles(StyleParts& parts, StylesResult& out);

/// Parses styles.xml (`xml` may be empty when the package has none). `colors` must already hold the theme.
/// Errors: DamagedFile, LimitExceeded.
Status readStyles(std::string_view xml, ColorResolver& colors, StylesResult& out);

} // namespace velquin::engine::xlsx
