// CSS of web pages into cell formats.
#include "engine/text/CssStyle.h"

#include "engine/text/StylePool.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>

namespace velquin::engine::text {

namespace {

constexpr std::size_t kMaxRules = 8192;

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view trimmed(std::string_view text)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

// Removes quotes and backslash escapes ("\#\,\#\#0\.00" is #,##0.00; "\\" is one backslash).
std::string unescaped(std::string_view value)
{
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i)
    {
        const char c = value[i];
        if (c == '\\' && i + 1 < value.size())
        {
            out += value[++i];
            continue;
        }
        if (c == '"' || c == '\'')
            continue;
        out += c;
    }
    return out;
}

struct NamedColor
{
    std::string_view name;
    model::Rgb rgb;
};

constexpr std::array<NamedColor, 17> kColors{{{"black", {0, 0, 0}},
                                              {"white", {255, 255, 255}},
                                              {"red", {255, 0, 0}},
                                              {"lime", {0, 255, 0}},
                                              {"blue", {0, 0, 255}},
                                              {"yellow", {255, 255, 0}},
                                              {"aqua", {0, 255, 255}},
                                              {"fuchsia", {255, 0, 255}},
                                              {"gray", {128, 128, 128}},
                                              {"grey", {128, 128, 128}},
                                              {"silver", {192, 192, 192}},
                                              {"maroon", {128, 0, 0}},
                                              {"green", {0, 128, 0}},
                                              {"navy", {0, 0, 128}},
                                              {"olive", {128, 128, 0}},
                                              {"purple", {128, 0, 128}},
                                              {"teal", {0, 128, 128}}}};

bool hexDigits(std::string_view text, unsigned& value)
{
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

model::Horizontal horizontalFrom(std::string_view value)
{
    if (value == "left")
        return model::Horizontal::Left;
    if (value == "center")
        return model::Horizontal::Center;
    if (value == "right")
        return model::Horizontal::Right;
    if (value == "justify")
        return model::Horizontal::Justify;
    if (value == "fill")
        return model::Horizontal::Fill;
    if (value == "center-across")
        return model::Horizontal::CenterAcrossSelection;
    if (value == "distributed")
        return model::Horizontal::Distributed;
    return model::Horizontal::Automatic;
}

model::Vertical verticalFrom(std::string_view value)
{
    if (value == "top")
        return model::Vertical::Top;
    if (value == "middle")
        return model::Vertical::Center;
    if (value == "justify")
        return model::Vertical::Justify;
    if (value == "distributed")
        return model::Vertical::Distributed;
    return model::Vertical::Bottom;
}

// "border-top:.5pt solid windowtext": width, line style and colour of one edge.
model::BorderEdge borderFrom(std::string_view value)
{
    model::BorderEdge edge;
    const std::string text = lowered(value);
    if (text.empty() || text == "none" || text.find("none") != std::string::npos)
        return edge;
    double width = 0.5;
    std::size_t at = 0;
    while (at < text.size())
    {
        while (at < text.size() && text[at] == ' ')
            ++at;
        std::size_t end = text.find(' ', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view word = std::string_view(text).substr(at, end - at);
        if (word == "solid")
            edge.lineStyle = model::LineStyle::Continuous;
        else if (word == "dashed")
            edge.lineStyle = model::LineStyle::Dash;
        else if (word == "dotted")
            edge.lineStyle = model::LineStyle::Dot;
        else if (word == "double")
            edge.lineStyle = model::LineStyle::Double;
        else if (word == "hairline")
        {
            edge.lineStyle = model::LineStyle::Continuous;
            width = 0;
        }
        else if (word == "dot-dash")
            edge.lineStyle = model::LineStyle::DashDot;
        else if (word == "dot-dot-dash")
            edge.lineStyle = model::LineStyle::DashDotDot;
        else if (word == "dot-dash-slanted")
            edge.lineStyle = model::LineStyle::SlantDashDot;
        else if (model::Rgb rgb; parseCssColor(word, rgb))
            edge.color = rgb;
        else if (const double points = cssPoints(word); points >= 0)
            width = points;
        at = end;
    }
    if (edge.lineStyle == model::LineStyle::None)
        edge.lineStyle = model::LineStyle::Continuous;
    edge.weight = width <= 0 ? 0 : width < 1 ? 1 : width < 1.5 ? 2 : 3;
    if (edge.lineStyle == model::LineStyle::Double)
        edge.weight = 3;
    return edge;
}

void applyDeclaration(std::string_view name, std::string_view value, model::CellStyle& style)
{
    const std::string lower = lowered(value);
    if (name == "font-family")
    {
        std::string family(value.substr(0, value.find(',')));
        if (!trimmed(family).empty())
            style.font.name = std::string(trimmed(family));
    }
    else if (name == "font-size")
    {
        const double points = cssPoints(value);
        if (points > 0 && points <= 409)
            style.font.size = points;
    }
    else if (name == "font-weight")
        style.font.bold = lower == "bold" || lower == "bolder" || std::atoi(lower.c_str()) >= 600;
    else if (name == "font-style")
        style.font.italic = lower == "italic" || lower == "oblique";
    else if (name == "text-decoration")
    {
        if (lower.find("underline") != std::string::npos && style.font.underline == model::Underline::None)
            style.font.underline = model::Underline::Single;
        if (lower.find("none") != std::string::npos)
            style.font.underline = model::Underline::None;
        style.font.strike = lower.find("line-through") != std::string::npos;
    }
    else if (name == "text-underline-style")
    {
        if (lower == "double")
            style.font.underline = model::Underline::Double;
        else if (lower == "single-accounting")
            style.font.underline = model::Underline::SingleAccounting;
        else if (lower == "double-accounting")
            style.font.underline = model::Underline::DoubleAccounting;
        else if (lower == "single")
            style.font.underline = model::Underline::Single;
    }
    else if (name == "color")
    {
        model::Rgb rgb;
        if (parseCssColor(lower, rgb))
            style.font.color = rgb;
        else if (lower == "windowtext" || lower == "auto")
            style.font.color.reset();
    }
    else if (name == "background" || name == "background-color")
    {
        model::Rgb rgb;
        if (parseCssColor(lower, rgb))
        {
            style.interior.color = rgb;
            style.interior.pattern = model::Pattern::Solid;
        }
    }
    else if (name == "text-align")
        style.alignment.horizontal = horizontalFrom(lower);
    else if (name == "vertical-align")
        style.alignment.vertical = verticalFrom(lower);
    else if (name == "white-space")
        style.alignment.wrapText = lower == "normal" || lower == "pre-wrap";
    else if (name == "mso-number-format")
    {
        // Excel names some formats ("Short Date", "Fixed") as in XML Spreadsheets.
        setNumberFormat(lower == "general" ? std::string_view("General") : std::string_view(value), style);
    }
    else if (name == "border")
    {
        const model::BorderEdge edge = borderFrom(value);
        style.borders.left = style.borders.top = style.borders.right = style.borders.bottom = edge;
    }
    else if (name == "border-top")
        style.borders.top = borderFrom(value);
    else if (name == "border-bottom")
        style.borders.bottom = borderFrom(value);
    else if (name == "border-left")
        style.borders.left = borderFrom(value);
    else if (name == "border-right")
        style.borders.right = borderFrom(value);
    else if (name == "mso-rotate")
        style.alignment.rotate = std::clamp(std::atoi(lower.c_str()), -90, 90);
    else if (name == "mso-protection")
    {
        style.protection.locked = lower.find("unlocked") == std::string::npos;
        style.protection.hideFormula = lower.find("hidden") != std::string::npos;
    }
}

} // namespace

CssDeclarations parseCssDeclarations(std::string_view text)
{
    CssDeclarations declarations;
    std::size_t at = 0;
    while (at < text.size() && declarations.size() < 256)
    {
        // A semicolon inside quotes belongs to the value (mso-number-format:"0\;\(0\)").
        std::size_t end = at;
        char quote = 0;
        while (end < text.size())
        {
            const char c = text[end];
            if (c == '\\' && end + 1 < text.size())
            {
                end += 2;
                continue;
            }
            if (quote)
            {
                if (c == quote)
                    quote = 0;
            }
            else if (c == '"' || c == '\'')
                quote = c;
            else if (c == ';')
                break;
            ++end;
        }
        const std::string_view declaration = text.substr(at, std::min(end, text.size()) - at);
        at = end + 1;
        const std::size_t colon = declaration.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string name = lowered(trimmed(declaration.substr(0, colon)));
        if (name.empty())
            continue;
        declarations.emplace_back(name, unescaped(trimmed(declaration.substr(colon + 1))));
    }
    return declarations;
}

void CssStyleSheet::add(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && m_rules.size() < kMaxRules)
    {
        const std::size_t open = text.find('{', at);
        if (open == std::string_view::npos)
            return;
        const std::size_t close = text.find('}', open);
        if (close == std::string_view::npos)
            return;
        std::string_view selectors = text.substr(at, open - at);
        const CssDeclarations declarations = parseCssDeclarations(text.substr(open + 1, close - open - 1));
        at = close + 1;
        // Comment markers and CSS comments before the selector.
        for (;;)
        {
            selectors = trimmed(selectors);
            if (selectors.substr(0, 4) == "<!--")
                selectors.remove_prefix(4);
            else if (selectors.substr(0, 3) == "-->")
                selectors.remove_prefix(3);
            else if (selectors.substr(0, 2) == "/*")
            {
                const std::size_t end = selectors.find("*/");
                selectors.remove_prefix(end == std::string_view::npos ? selectors.size() : end + 2);
            }
            else
                break;
        }
        std::size_t from = 0;
        while (from <= selectors.size())
        {
            std::size_t comma = selectors.find(',', from);
            if (comma == std::string_view::npos)
                comma = selectors.size();
            const std::string selector = lowered(trimmed(selectors.substr(from, comma - from)));
            if (!selector.empty())
            {
                CssDeclarations& rule = m_rules[selector];
                rule.insert(rule.end(), declarations.begin(), declarations.end());
            }
            from = comma + 1;
        }
    }
}

const CssDeclarations* CssStyleSheet::find(std::string_view selector) const
{
    const auto found = m_rules.find(lowered(selector));
    return found == m_rules.end() ? nullptr : &found->second;
}

void applyCss(const CssDeclarations& declarations, model::CellStyle& style)
{
    for (const auto& [name, value] : declarations)
        applyDeclaration(name, value, style);
}

double cssPoints(std::string_view value)
{
    value = trimmed(value);
    std::size_t digits = 0;
    while (digits < value.size() && (std::isdigit(static_cast<unsigned char>(value[digits])) || value[digits] == '.'))
        ++digits;
    if (digits == 0)
        return -1;
    std::string number(value.substr(0, digits));
    if (number.front() == '.')
        number.insert(number.begin(), '0');
    double amount = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), amount);
    if (error != std::errc() || end != number.data() + number.size() || !std::isfinite(amount))
        return -1;
    const std::string unit = lowered(trimmed(value.substr(digits)));
    if (unit == "pt")
        return amount;
    if (unit == "px" || unit.empty())
        return amount * 0.75;
    if (unit == "in")
        return amount * 72;
    if (unit == "cm")
        return amount * 72 / 2.54;
    if (unit == "mm")
        return amount * 72 / 25.4;
    return -1;
}

std::string_view cssValue(const CssDeclarations& declarations, std::string_view name)
{
    for (auto it = declarations.rbegin(); it != declarations.rend(); ++it)
    {
        if (it->first == name)
            return it->second;
    }
    return {};
}

bool parseCssColor(std::string_view value, model::Rgb& rgb)
{
    value = trimmed(value);
    unsigned bits = 0;
    if (value.size() == 7 && value[0] == '#' && hexDigits(value.substr(1), bits))
    {
        rgb = {static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 8),
               static_cast<std::uint8_t>(bits)};
        return true;
    }
    if (value.size() == 4 && value[0] == '#' && hexDigits(value.substr(1), bits))
    {
        auto twice = [](unsigned nibble) { return static_cast<std::uint8_t>(nibble * 17); };
        rgb = {twice((bits >> 8) & 15), twice((bits >> 4) & 15), twice(bits & 15)};
        return true;
    }
    const std::string lower = lowered(value);
    if (lower.rfind("rgb(", 0) == 0 && lower.back() == ')')
    {
        int parts[3] = {0, 0, 0};
        std::size_t at = 4;
        for (int i = 0; i < 3; ++i)
        {
            while (at < lower.size() && (lower[at] == ' ' || lower[at] == ','))
                ++at;
            auto [end, error] = std::from_chars(lower.data() + at, lower.data() + lower.size(), parts[i]);
            if (error != std::errc() || parts[i] < 0 || parts[i] > 255)
                return false;
            at = static_cast<std::size_t>(end - lower.data());
        }
        rgb = {static_cast<std::uint8_t>(parts[0]), static_cast<std::uint8_t>(parts[1]),
               static_cast<std::uint8_t>(parts[2])};
        return true;
    }
    for (const NamedColor& named : kColors)
    {
        if (named.name == lower)
        {
            rgb = named.rgb;
            return true;
        }
    }
    return false;
}

} // namespace velquin::engine::text
