// Reads everything of a worksheet part except its cells: columns, default sizes, views and panes, merges,
// hyperlinks, auto filter, data validations, conditional formats and protection.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

struct SheetStructure
{
    model::SheetHeader header; ///< without comments, which live in their own part
    model::SheetOptions options;
    /// Relationship id of each header.hyperlinks entry with an external target (empty for internal ones), and
    /// the location that follows it, to be joined once the relationships are read.
    std::vector<std::string> linkRelationships;
    std::vector<std::string> linkLocations;
};

/// What the sheet needs from the workbook: the Normal font's widest digit (pixels), for widths in characters,
/// and the differential formats of styles.xml as CSS.
struct SheetContext
{
    int maxDigitWidth = 7;
    const std::vector<std::string>* differentialCss = nullptr;
};

/// Parses the skeleton of a worksheet part (see splitSheetPart). Errors: DamagedFile, LimitExceeded.
Status readSheetStructure(std::string_view skeleton, std::string_view partName, const SheetContext& context,
                          SheetStructure& out);

/// Column width in characters (as <col width> stores it, padding included) to points, the way Excel rounds it
/// to whole pixels of the Normal font.
double columnWidthToPoints(double characters, int maxDigitWidth);

/// The widest digit in pixels of a font at 96 dpi, for the fonts workbooks use as Normal.
int maxDigitWidthOf(std::string_view fontName, double size);

} // namespace velquin::engine::xlsx
