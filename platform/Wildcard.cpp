// Name matching of the directory search.
#include "platform/Wildcard.h"

#include "platform/Platform.h"

#include <algorithm>
#include <string>

namespace velquin::platform {

namespace {

char fold(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Iterative glob match with single backtrack point: linear in practice, no recursion on the pattern.
bool globMatch(std::string_view pattern, std::string_view name)
{
    std::size_t p = 0, n = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == '?' || fold(pattern[p]) == fold(name[n])))
        {
            ++p;
            ++n;
        }
        else if (p < pattern.size() && pattern[p] == '*')
        {
            starP = p++;
            starN = n;
        }
        else if (starP != std::string_view::npos)
        {
            p = starP + 1;
            n = ++starN;
        }
        else
            return false;
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

} // namespace

bool hasWildcards(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

bool matchesPattern(std::string_view pattern, std::string_view name)
{
    if (globMatch(pattern, name))
        return true;
    // A three-character extension in the pattern also matches longer extensions that begin with it (as 8.3 short
    // names did on older file systems), so "*.xls" finds "Book.xlsx" too: one pattern lists every workbook.
    auto patternDot = pattern.rfind('.');
    auto nameDot = name.rfind('.');
    if (patternDot == std::string_view::npos || nameDot == std::string_view::npos)
        return false;
    if (pattern.size() - patternDot - 1 != 3 || name.size() - nameDot - 1 <= 3)
        return false;
    return globMatch(pattern, name.substr(0, nameDot + 4));
}

} // namespace velquin::platform

namespace velquin::platform {

bool passesFilter(int bits, int filter)
{
    if ((bits & attr::Directory) && !(filter & attr::Directory))
        return false;
    if ((bits & attr::Hidden) && !(filter & attr::Hidden))
        return false;
    if ((bits & attr::System) && !(filter & attr::System))
        return false;
    return true;
}

PatternParts splitPattern(std::string_view pattern)
{
    PatternParts parts;
    auto slash = pattern.rfind('/');
    if (slash == std::string_view::npos)
    {
        parts.folder = ".";
        parts.name = pattern;
    }
    else
    {
        parts.folder = slash == 0 ? pattern.substr(0, 1) : pattern.substr(0, slash);
        parts.name = pattern.substr(slash + 1);
    }
    if (parts.name.empty())
    {
        parts.name = "*";
        parts.insideFolder = true;
    }
    return parts;
}

bool nameLess(std::string_view a, std::string_view b)
{
    auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
    {
        char x = fold(a[i]), y = fold(b[i]);
        if (x != y)
            return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace velquin::platform
