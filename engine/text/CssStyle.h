// The CSS of web pages as Excel writes and reads it: class rules of the page's style sheet and style attributes,
// turned into cell formats (font, fill, alignment, borders, mso-number-format) and row and column sizes.
#pragma once

#include "engine/model/Style.h"

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace velquin::engine::text {

/// The declarations of one rule or style attribute, in order, names in lower case, values unescaped.
using CssDeclarations = std::vector<std::pair<std::string, std::string>>;

/// Parses "name: value; name: value" (CSS backslash escapes and quotes removed from values).
CssDeclarations parseCssDeclarations(std::string_view text);

/// The rules of a style sheet by selector (".xl63", "td", ".style0"); each selector of a group gets the rule.
class CssStyleSheet
{
public:
    /// Adds the rules of `text` (the contents of a <style> element; HTML comment markers and CSS comments are
    /// skipped). At most a few thousand rules are kept.
    void add(std::string_view text);
    /// The declarations for `selector`, or none.
    const CssDeclarations* find(std::string_view selector) const;

private:
    std::unordered_map<std::string, CssDeclarations> m_rules;
};

/// Applies the declarations that format cells to `style`.
void applyCss(const CssDeclarations& declarations, model::CellStyle& style);

/// A CSS length in points ("16.0pt", "21px", "1.5in", a bare number as pixels), or -1.
double cssPoints(std::string_view value);

/// The value of declaration `name`, or "".
std::string_view cssValue(const CssDeclarations& declarations, std::string_view name);

/// A CSS colour ("#RRGGBB", "#RGB", "rgb(r,g,b)" or one of the basic names), or false.
bool parseCssColor(std::string_view value, model::Rgb& rgb);

} // namespace velquin::engine::text
