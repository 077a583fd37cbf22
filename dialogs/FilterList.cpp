// File-type list conversions shared by the open and save dialogs and the Qt backend.
#include "dialogs/FilterList.h"

#include <cctype>

namespace velquin::dialogs {
namespace {

bool isBlank(std::string_view text)
{
    return text.find_first_not_of(' ') == std::string_view::npos;
}

std::string caseInsensitiveWildcard(std::string_view pattern)
{
    std::string out;
    for (char c : pattern)
    {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalpha(u) != 0 && u < 0x80)
        {
            out += '[';
            out += static_cast<char>(std::tolower(u));
            out += static_cast<char>(std::toupper(u));
            out += ']';
        }
        else
        {
            out += c;
        }
    }
    return out;
}

} // namespace

std::string openDialogFilter(std::string_view filter)
{
    std::string out(filter);
    for (char& c : out)
    {
        if (c == '|')
            c = '\0';
    }
    out += '\0';
    return out;
}

std::string saveDialogFilter(std::string_view filter)
{
    const std::string_view text = isBlank(filter) ? std::string_view("*.*|*.*") : filter;
    std::string out;
    std::size_t start = 0;
    while (true)
    {
        const std::size_t bar = text.find('|', start);
        out += text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
        out += '\0';
        if (bar == std::string_view::npos)
            break;
        start = bar + 1;
    }
    return out;
}

std::vector<FilterEntry> parseFilterList(std::string_view nulSeparated)
{
    std::vector<FilterEntry> entries;
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start < nulSeparated.size())
    {
        const std::size_t nul = nulSeparated.find('\0', start);
        const std::string_view piece = nulSeparated.substr(start, nul == std::string_view::npos ? nul : nul - start);
        if (piece.empty())
            break;
        pieces.push_back(piece);
        if (nul == std::string_view::npos)
            break;
        start = nul + 1;
    }
    for (std::size_t i = 0; i + 1 < pieces.size(); i += 2)
        entries.push_back({std::string(pieces[i]), std::string(pieces[i + 1])});
    return entries;
}

std::string qtNameFilter(const FilterEntry& entry)
{
    std::string patterns;
    std::size_t start = 0;
    while (start <= entry.pattern.size())
    {
        const std::size_t semi = entry.pattern.find(';', start);
        std::string_view one =
            std::string_view(entry.pattern).substr(start, semi == std::string::npos ? semi : semi - start);
        while (!one.empty() && one.front() == ' ')
            one.remove_prefix(1);
        while (!one.empty() && one.back() == ' ')
            one.remove_suffix(1);
        if (!one.empty())
        {
            if (!patterns.empty())
                patterns += ' ';
            patterns += caseInsensitiveWildcard(one);
        }
        if (semi == std::string::npos)
            break;
        start = semi + 1;
    }
    return entry.description + " (" + patterns + ")";
}

} // namespace velquin::dialogs
