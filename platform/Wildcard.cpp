// Name matching of the directory search.
#include "platform/Wildcard.h"

#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace velquin::platform {

namespace {

char foldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A byte that is not part of well-formed UTF-8 stands for itself as U+DC80..U+DCFF (code points no decoded text
// gives), so that names in other encodings still match byte for byte.
constexpr char32_t kStrayByte = 0xDC00;

// The name as code points under Unicode simple case folding, the rule by which the file systems the workbooks come
// from ignore case ("É" and "é" are one letter, "ß" and "ss" are not).
std::u32string foldUtf8(std::string_view text)
{
    std::u32string folded;
    folded.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::int32_t i = 0;
    while (i < length)
    {
        const std::int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0)
        {
            for (std::int32_t b = start; b < i; ++b)
                folded += kStrayByte | bytes[b];
            continue;
        }
        folded += static_cast<char32_t>(u_foldCase(c, U_FOLD_CASE_DEFAULT));
    }
    return folded;
}

std::string foldAscii(std::string_view text)
{
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) { return foldAscii(c); });
    return folded;
}

// Iterative glob match over folded text with a single backtrack point: linear in practice, no recursion on the
// pattern.
template <typename Char> bool globMatch(std::basic_string_view<Char> pattern, std::basic_string_view<Char> name)
{
    std::size_t p = 0, n = 0;
    std::size_t starP = std::basic_string_view<Char>::npos, starN = 0;
    while (n < name.size())
    {
        if (p < pattern.size() && (pattern[p] == Char('?') || pattern[p] == name[n]))
        {
            ++p;
            ++n;
        }
        else if (p < pattern.size() && pattern[p] == Char('*'))
        {
            starP = p++;
            starN = n;
        }
        else if (starP != std::basic_string_view<Char>::npos)
        {
            p = starP + 1;
            n = ++starN;
        }
        else
            return false;
    }
    while (p < pattern.size() && pattern[p] == Char('*'))
        ++p;
    return p == pattern.size();
}

template <typename Char> bool matchesFolded(std::basic_string_view<Char> pattern, std::basic_string_view<Char> name)
{
    if (globMatch(pattern, name))
        return true;
    // A three-character extension in the pattern also matches longer extensions that begin with it (as 8.3 short
    // names did on older file systems), so "*.xls" finds "Book.xlsx" too: one pattern lists every workbook.
    const auto patternDot = pattern.rfind(Char('.'));
    const auto nameDot = name.rfind(Char('.'));
    if (patternDot == pattern.npos || nameDot == name.npos)
        return false;
    if (pattern.size() - patternDot - 1 != 3 || name.size() - nameDot - 1 <= 3)
        return false;
    return globMatch(pattern, name.substr(0, nameDot + 4));
}

} // namespace

bool hasWildcards(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

bool matchesPattern(std::string_view pattern, std::string_view name)
{
    if (isAscii(pattern) && isAscii(name))
        return matchesFolded<char>(foldAscii(pattern), foldAscii(name));
    return matchesFolded<char32_t>(foldUtf8(pattern), foldUtf8(name));
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
    if (isAscii(a) && isAscii(b))
    {
        const std::string x = foldAscii(a), y = foldAscii(b);
        if (x != y)
            return x < y;
    }
    else
    {
        const std::u32string x = foldUtf8(a), y = foldUtf8(b);
        if (x != y)
            return x < y;
    }
    return a < b;
}

} // namespace velquin::platform
