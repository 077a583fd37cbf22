// The workbook's theme as BIFF8 keeps it: THEME names the theme Excel 2007 shipped with by its version number, or
// holds a whole theme package (a zip file) split over the record and its CONTINUEFRT records.
#pragma once

#include "engine/model/Style.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velquin::engine::xls {

/// The version number that stands for the built-in theme instead of a package.
inline constexpr std::uint32_t kBuiltinThemeVersion = 124226;
/// Limits against hostile files: the package as stored, and the theme part once inflated.
inline constexpr std::size_t kMaxThemePackage = 4u << 20;
inline constexpr std::size_t kMaxThemePart = 4u << 20;

/// The colour scheme (dk1, lt1, dk2, lt2, accent1-6, hlink, folHlink) of a theme package; nothing when the package
/// is damaged, too large or has no theme part with a colour scheme.
std::optional<std::array<model::Rgb, 12>> readThemePackage(std::span<const std::uint8_t> package);

} // namespace velquin::engine::xls
