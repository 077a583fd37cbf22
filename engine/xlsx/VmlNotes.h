// The legacy drawing of a sheet (xl/drawings/vmlDrawingN.vml) holds the shape of each note, and with it whether
// the note is always shown. .xlsx and .xlsb sheets both keep their notes' shapes there.
#pragma once

#include "engine/model/Sheet.h"

#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

/// Marks as shown each comment whose note shape in the drawing `vml` says x:Visible. Excel's VML is not always
/// well-formed XML (unclosed <br> in text boxes), so the note's client data is looked for as text.
void markShownNotes(std::string_view vml, std::vector<model::Comment>& comments);

} // namespace velquin::engine::xlsx
