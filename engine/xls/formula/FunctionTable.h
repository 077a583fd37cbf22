// The built-in worksheet function table of BIFF5/BIFF8/BIFF12 formulas: function number -> name and argument counts.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velquin::engine::xls::formula {

/// One built-in function as PtgFunc / PtgFuncVar name it.
struct BuiltinFunction
{
    std::string_view name;
    std::uint8_t minArgs = 0;
    std::uint8_t maxArgs = 0; ///< equal to minArgs for functions stored with a fixed argument count (PtgFunc)
};

/// The worksheet function with number `iftab`, or nothing for numbers the format leaves undefined.
/// Number 255 is the call of a user-defined or add-in function; its name is the first argument.
std::optional<BuiltinFunction> worksheetFunction(std::uint16_t iftab);

/// The macro-sheet command with number `cetab` (PtgFuncVar with the command bit), or nothing when unknown.
std::optional<std::string_view> macroCommand(std::uint16_t cetab);

/// The user-defined function call number: its first argument names the function.
inline constexpr std::uint16_t kUserDefinedFunction = 255;

} // namespace velquin::engine::xls::formula
