// Font height arithmetic of the font dialog: points to the font record's pixel height.
#pragma once

#include <cstdint>

namespace velquin::dialogs {

/// a * b / c with a 64-bit intermediate, rounded half away from zero. Gives -1 when c is 0 or the result does
/// not fit in 32 bits, as the system's MulDiv does.
std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

/// Height for the font record: minus the character height in pixels of a font of `points` on a screen of `dpi`
/// dots per inch (10 pt at 96 dpi gives -13).
std::int32_t logFontHeight(std::int16_t points, int dpi);

} // namespace velquin::dialogs
