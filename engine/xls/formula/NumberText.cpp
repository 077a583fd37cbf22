// Numbers as Excel writes them inside formula text.
#include "engine/xls/formula/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velquin::engine::xls::formula {

namespace {

constexpr int kSignificantDigits = 15;

std::string exponentText(int exponent)
{
    std::string text = exponent < 0 ? "E-" : "E+";
    int magnitude = std::abs(exponent);
    if (magnitude < 10)
        text += '0';
    text += std::to_string(magnitude);
    return text;
}

} // namespace

std::string numberText(double value)
{
    if (!std::isfinite(value))
        return "#NUM!";
    if (value == 0.0)
        return "0";

    // "%.14e" rounds to 15 significant digits: d.dddddddddddddde±x.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", std::fabs(value));
    std::string digits;
    const char* p = buffer;
    for (; *p != 'e' && *p != '\0'; ++p)
    {
        if (*p >= '0' && *p <= '9')
            digits += *p;
    }
    int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string text = value < 0 ? "-" : "";
    const int digitCount = static_cast<int>(digits.size());
    const bool plain =
        exponent >= 0 ? exponent < kSignificantDigits : (-exponent - 1) + digitCount <= kSignificantDigits;
    if (!plain)
    {
        text += digits[0];
        if (digitCount > 1)
            text += '.' + digits.substr(1);
        return text + exponentText(exponent);
    }
    if (exponent >= 0)
    {
        const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= integerDigits)
            return text + digits + std::string(integerDigits - digits.size(), '0');
        return text + digits.substr(0, integerDigits) + '.' + digits.substr(integerDigits);
    }
    return text + "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
}

} // namespace velquin::engine::xls::formula
