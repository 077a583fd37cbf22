// Name matching of the directory search: "*" and "?" wildcards, case-insensitive, with the short-extension rule.
#pragma once

#include <string>
#include <string_view>

namespace velquin::platform {

/// True when `name` matches `pattern` (one path component), both UTF-8. Letters match regardless of case by Unicode
/// simple case folding ("É" matches "é"); bytes that are not UTF-8 match only themselves. When the
/// pattern's extension (after its last ".") has exactly three characters, a name whose extension is longer also
/// matches if its first three characters do, so "*.xls" matches "a.xlsx" and "a.XLSM".
bool matchesPattern(std::string_view pattern, std::string_view name);

/// True when the text holds "*" or "?".
bool hasWildcards(std::string_view text);

} // namespace velquin::platform

namespace velquin::platform {

/// True when an entry with these attribute bits passes a search's attribute filter: folders need 16, hidden
/// entries 2 and system entries 4; read-only and archive never matter.
bool passesFilter(int bits, int filter);

/// Splits a search pattern into its folder and its last component ("a/b/*.xls" -> "a/b", "*.xls"; "/x" -> "/",
/// "x"; "x" -> ".", "x"). A pattern ending in "/" gets the last component "*".
struct PatternParts
{
    std::string_view folder;
    std::string_view name;
    bool insideFolder = false; ///< the pattern ended in "/"
};
PatternParts splitPattern(std::string_view pattern);

/// Orders search results the way users expect to see a folder: by case-folded code points, then byte-wise.
bool nameLess(std::string_view a, std::string_view b);

} // namespace velquin::platform
