// Finds the cells whose formula is a HYPERLINK call with a literal target: Excel shows them as linked cells.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"

#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ZipPartStream;

/// The target of a formula "HYPERLINK("target", ...)" (A1 text without "="), or empty when the formula is not a
/// HYPERLINK call whose first argument is a string literal.
std::string hyperlinkTarget(std::string_view formula);

/// Appends a link for every such cell of a worksheet part (in memory or streamed). Errors: DamagedFile,
/// LimitExceeded.
Status collectFormulaLinks(std::string_view part, std::string_view partName, std::vector<model::Hyperlink>& out);
Status collectFormulaLinks(ZipPartStream& stream, std::vector<model::Hyperlink>& out);

} // namespace velquin::engine::xlsx
