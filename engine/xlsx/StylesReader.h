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

/// Parses styles.xml (`xml` may be empty when the package has none). `colors` must already hold the theme.
/// Errors: DamagedFile, LimitExceeded.
Status readStyles(std::string_view xml, ColorResolver& colors, StylesResult& out);

} // namespace velquin::engine::xlsx
