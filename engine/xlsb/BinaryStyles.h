// Reads the binary styles part (styles.bin): number formats, fonts, fills, borders, cell formats, named styles and
// the differential formats of conditional formatting, into the same complete cell formats as styles.xml gives.
#pragma once

#include "engine/Error.h"
#include "engine/xlsx/StylesReader.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xlsx {
class ColorResolver;
}

namespace velquin::engine::xlsb {

/// Parses styles.bin (`bytes` may be empty when the package has none). `colors` must already hold the theme; the
/// part's own palette is applied to it. `fonts` receives the font list that rich text refers to by index.
/// Errors: DamagedFile, LimitExceeded, Timeout.
Status readBinaryStyles(std::span<const std::uint8_t> bytes, const std::string& partName,
                        xlsx::ColorResolver& colors, xlsx::StylesResult& out, std::vector<model::Font>& fonts);

/// The colour of an 8-byte colour structure: automatic, palette index, RGB or theme colour with tint. Nothing for
/// automatic colours and indexes that do not resolve.
std::optional<model::Rgb> binaryColor(std::span<const std::uint8_t, 8> bytes, const xlsx::ColorResolver& colors);

} // namespace velquin::engine::xlsb
