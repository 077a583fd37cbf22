// Reads a legacy comments part (xl/commentsN.xml): authors and the rich text of each note.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"

#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ColorResolver;

/// Appends the comments of the part to `out`. Errors: DamagedFile, LimitExceeded.
Status readComments(std::string_view xml, std::string_view partName, const ColorResolver& colors,
                    std::vector<model::Comment>& out);

} // namespace velquin::engine::xlsx
