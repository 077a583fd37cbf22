// What a conditional format's rule changes in a cell's look, and the Style text SpreadsheetML gives it.
#pragma once

#include "engine/model/Style.h"

#include <optional>
#include <string>
#include <string_view>

namespace velquin::engine::model {

struct DifferentialStyle
{
    std::optional<Rgb> fontColor, fill;
    std::optional<bool> bold, italic, underline, strike;
};

/// "#RRGGBB".
inline std::string hexColor(Rgb rgb)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "#";
    for (std::uint8_t part : {rgb.r, rgb.g, rgb.b})
    {
        text += kDigits[part >> 4];
        text += kDigits[part & 15];
    }
    return text;
}

/// The x:Format Style attribute of a condition, in the order Excel writes it:
/// "color:#9C0006;font-weight:700;background:#FFC7CE".
inline std::string conditionCss(const DifferentialStyle& style)
{
    std::string text;
    auto add = [&text](std::string_view item) {
        if (!text.empty())
            text += ';';
        text += item;
    };
    if (style.fontColor)
        add("color:" + hexColor(*style.fontColor));
    if (style.bold)
        add(*style.bold ? "font-weight:700" : "font-weight:400");
    if (style.italic)
        add(*style.italic ? "font-style:italic" : "font-style:normal");
    if (style.underline && *style.underline)
        add("text-underline-style:single");
    if (style.strike && *style.strike)
        add("text-line-through:single");
    if (style.fill)
        add("background:" + hexColor(*style.fill));
    return text;
}

} // namespace velquin::engine::model
