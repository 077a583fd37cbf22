// HLINK records: a cell range and its target (URL, file, place in the workbook), and HLINKTOOLTIP.
#pragma once

#include "engine/model/Sheet.h"

#include <cstdint>
#include <optional>
#include <span>

namespace velquin::engine::xls {

/// Parses an HLINK payload; nothing when it is damaged or names no target.
std::optional<model::Hyperlink> parseHlink(std::span<const std::uint8_t> payload);
/// Parses an HLINKTOOLTIP payload into the range it covers and the tip; nothing when damaged.
std::optional<model::Hyperlink> parseHlinkTooltip(std::span<const std::uint8_t> payload);

} // namespace velquin::engine::xls
