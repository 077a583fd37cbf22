// Numbers as Excel writes them inside formula text.
#pragma once

#include <string>

namespace velquin::engine::xls::formula {

/// A number constant of a formula as Excel shows it: at most 15 significant digits, no trailing zeros,
/// plain notation while it fits in 15 digit places ("0.00001", "123456789012345"), else E notation ("1E+20",
/// "1.5E-20"). Infinities and NaN, which no formula can hold, give "#NUM!".
std::string numberText(double value);

} // namespace velquin::engine::xls::formula
