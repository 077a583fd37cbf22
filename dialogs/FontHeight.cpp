// Font height arithmetic of the font dialog.
#include "dialogs/FontHeight.h"

#include <cstdlib>
#include <limits>

namespace velquin::dialogs {

std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c)
{
    if (c == 0)
        return -1;
    const std::int64_t product = static_cast<std::int64_t>(a) * b;
    const std::int64_t magnitude =
        (std::llabs(product) + std::llabs(static_cast<std::int64_t>(c)) / 2) / std::llabs(static_cast<std::int64_t>(c));
    const std::int64_t result = ((product < 0) != (c < 0)) ? -magnitude : magnitude;
    if (result > std::numeric_limits<std::int32_t>::max() || result < std::numeric_limits<std::int32_t>::min())
        return -1;
    return static_cast<std::int32_t>(result);
}

std::int32_t logFontHeight(std::int16_t points, int dpi)
{
    return -mulDiv(points, dpi, 72);
}

} // namespace velquin::dialogs
