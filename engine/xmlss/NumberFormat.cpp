// Excel's names for its built-in number formats, and date format detection.
#include "engine/xmlss/NumberFormat.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace velquin::engine::xmlss {

namespace {

struct NamedFormat
{
    std::string_view code;
    std::string_view name;
};

// The formats SpreadsheetML 2003 knows by name, and the built-in formats whose code Excel writes with its
// literal characters escaped. Codes are compared as the workbook stores them (BIFF and OOXML alike).
constexpr std::array<NamedFormat, 26> kNamedByCode{{
    {"General", ""},
    {"0.00", "Fixed"},
    {"#,##0.00", "Standard"},
    {"0.00%", "Percent"},
    {"0.00E+00", "Scientific"},
    {"m/d/yyyy", "Short Date"},
    {"m/d/yy", "Short Date"},
    {"d-mmm-yy", "Medium Date"},
    {"dd-mmm-yy", "Medium Date"},
    {"h:mm AM/PM", "Medium Time"},
    {"h:mm:ss AM/PM", "Long Time"},
    {"h:mm", "Short Time"},
    {"m/d/yyyy h:mm", "General Date"},
    {"m/d/yy h:mm", "General Date"},
    {"\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)", "Currency"},
    {"$#,##0.00_);[Red]($#,##0.00)", "Currency"},
    {"# ?/?", "#\\ ?/?"},
    {"# ?\?/??", "#\\ ?\?/??"},
    {"d-mmm", "d\\-mmm"},
    {"mmm-yy", "mmm\\-yy"},
    {"#,##0 ;(#,##0)", "#,##0\\ ;\\(#,##0\\)"},
    {"#,##0 ;[Red](#,##0)", "#,##0\\ ;[Red]\\(#,##0\\)"},
    {"#,##0.00;(#,##0.00)", "#,##0.00;\\(#,##0.00\\)"},
    {"#,##0.00;[Red](#,##0.00)", "#,##0.00;[Red]\\(#,##0.00\\)"},
    {"Yes/No", "Yes/No"},
    {"True/False", "True/False"},
}};

// Built-in formats by number, for readers that know the number but not the code (the codes of the en-US locale).
std::string_view builtinName(int id)
{
    switch (id)
    {
    case 0:
        return "";
    case 1:
        return "0";
    case 2:
        return "Fixed";
    case 3:
        return "#,##0";
    case 4:
        return "Standard";
    case 8:
        return "Currency";
    case 9:
        return "0%";
    case 10:
        return "Percent";
    case 11:
        return "Scientific";
    case 12:
        return "#\\ ?/?";
    case 13:
        return "#\\ ?\?/??";
    case 14:
        return "Short Date";
    case 15:
        return "Medium Date";
    case 16:
        return "d\\-mmm";
    case 17:
        return "mmm\\-yy";
    case 18:
        return "Medium Time";
    case 19:
        return "Long Time";
    case 20:
        return "Short Time";
    case 21:
        return "h:mm:ss";
    case 22:
        return "General Date";
    case 37:
        return "#,##0\\ ;\\(#,##0\\)";
    case 38:
        return "#,##0\\ ;[Red]\\(#,##0\\)";
    case 39:
        return "#,##0.00\\ ;\\(#,##0.00\\)";
    case 40:
        return "#,##0.00\\ ;[Red]\\(#,##0.00\\)";
    case 45:
        return "mm:ss";
    case 46:
        return "[h]:mm:ss";
    case 47:
        return "mmss.0";
    case 48:
        return "##0.0E+0";
    case 49:
        return "@";
    default:
        return {};
    }
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

constexpr std::array<std::string_view, 8> kColourNames{"Black",   "Blue", "Cyan",  "Green",
                                                       "Magenta", "Red",  "White", "Yellow"};

char lower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

/// A bracketed section as Excel spells it: colour names capitalised, elapsed time in lower case.
void appendBracket(std::string& out, std::string_view inside)
{
    for (const std::string_view colour : kColourNames)
    {
        if (equalsIgnoreCase(inside, colour))
        {
            out += colour;
            return;
        }
    }
    const char first = inside.empty() ? '\0' : lower(inside[0]);
    const bool elapsed = (first == 'h' || first == 'm' || first == 's') &&
                         std::all_of(inside.begin(), inside.end(), [first](char c) { return lower(c) == first; });
    if (elapsed)
    {
        out.append(inside.size(), first);
        return;
    }
    if (inside.size() > 5 && equalsIgnoreCase(inside.substr(0, 5), "Color"))
    {
        out += "Color";
        out += inside.substr(5);
        return;
    }
    out += inside;
}

} // namespace

namespace {

/// Currency signs that stand for themselves in a code: the dollar, cent, pound, currency, yen and euro signs and the
/// Unicode block of currency symbols.
bool isCurrencySign(std::string_view code, std::size_t i, std::size_t& length)
{
    const auto byte = [&code](std::size_t at) { return at < code.size() ? static_cast<unsigned char>(code[at]) : 0; };
    length = 1;
    if (code[i] == '$')
        return true;
    length = 2;
    if (byte(i) == 0xC2 && (byte(i + 1) == 0xA2 || byte(i + 1) == 0xA3 || byte(i + 1) == 0xA4 || byte(i + 1) == 0xA5))
        return true;
    length = 3; // U+20A0 to U+20BF
    return byte(i) == 0xE2 && (byte(i + 1) == 0x82 && byte(i + 2) >= 0xA0 && byte(i + 2) <= 0xBF);
}

/// Where the section that starts at `begin` ends: its ';' or the end of the code.
std::size_t sectionEnd(std::string_view code, std::size_t begin)
{
    for (std::size_t i = begin; i < code.size(); ++i)
    {
        const char c = code[i];
        if (c == '"' || c == '[')
        {
            const std::size_t close = code.find(c == '"' ? '"' : ']', i + 1);
            if (close == std::string_view::npos)
                return code.size();
            i = close;
        }
        else if (c == '\\' || c == '_' || c == '*')
            ++i;
        else if (c == ';')
            return i;
    }
    return code.size();
}

/// The code with Excel's spelling of letters, colours and General, and the literals as the workbook marks them.
std::string spellLikeExcel(std::string_view code, bool markLiterals)
{
    std::string out;
    out.reserve(code.size() + 8);
    std::size_t sectionStop = 0;
    bool dateSection = false;
    for (std::size_t i = 0; i < code.size(); ++i)
    {
        if (i >= sectionStop)
        {
            sectionStop = sectionEnd(code, i);
            dateSection = isDateFormat(code.substr(i, sectionStop - i));
        }
        const char c = code[i];
        std::size_t signLength = 0;
        if (c == '"')
        {
            const std::size_t close = code.find('"', i + 1);
            const std::size_t end = close == std::string_view::npos ? code.size() : close + 1;
            out += code.substr(i, end - i);
            i = end - 1;
        }
        else if ((c == '\\' || c == '_' || c == '*') && i + 1 < code.size())
        {
            // The escaped, width or fill character may be a multi-byte one; its first byte is enough to keep it whole.
            out += c;
            out += code[++i];
        }
        else if (c == '[')
        {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos)
            {
                out += code.substr(i);
                break;
            }
            out += '[';
            appendBracket(out, code.substr(i + 1, close - i - 1));
            out += ']';
            i = close;
        }
        else if (equalsIgnoreCase(code.substr(i, 5), "AM/PM") || equalsIgnoreCase(code.substr(i, 3), "A/P"))
        {
            const std::size_t length = equalsIgnoreCase(code.substr(i, 5), "AM/PM") ? 5 : 3;
            out += code.substr(i, length);
            i += length - 1;
        }
        else if (equalsIgnoreCase(code.substr(i, 7), "General"))
        {
            out += "General";
            i += 6;
        }
        else if (c == 'Y' || c == 'D' || c == 'M' || c == 'H' || c == 'S')
            out += lower(c);
        // Literal characters Excel marks as such: signs of a number's exponent stay as they are.
        else if (!markLiterals)
            out += c;
        else if ((c == '-' && !(!dateSection && !out.empty() && (out.back() == 'E' || out.back() == 'e'))) ||
                 c == ' ' || c == '(' || c == ')' || (c == ',' && dateSection))
        {
            out += '\\';
            out += c;
        }
        else if (isCurrencySign(code, i, signLength))
        {
            out += '\\';
            out += code.substr(i, signLength);
            i += signLength - 1;
        }
        else
            out += c;
    }
    return out;
}

} // namespace

std::string normalizeFormatCode(std::string_view code)
{
    return spellLikeExcel(code, true);
}

namespace {

/// True when the format shows month or day names: "mmm", "mmmm", "ddd" or "dddd" outside quoted text, escaped
/// characters and brackets ("mmmmm", the month's first letter, is the same in every language Excel tags).
bool spellsNames(std::string_view code)
{
    for (std::size_t i = 0; i < code.size(); ++i)
    {
        const char c = code[i];
        if (c == '"')
        {
            const std::size_t close = code.find('"', i + 1);
            if (close == std::string_view::npos)
                return false;
            i = close;
            continue;
        }
        if (c == '\\' || c == '_' || c == '*')
        {
            ++i;
            continue;
        }
        if (c == '[')
        {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos)
                return false;
            i = close;
            continue;
        }
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower != 'm' && lower != 'd')
            continue;
        std::size_t run = 1;
        while (i + run < code.size() && std::tolower(static_cast<unsigned char>(code[i + run])) == lower)
            ++run;
        if (run == 3 || run == 4)
            return true;
        i += run - 1;
    }
    return false;
}

} // namespace

bool isUsableFormat(std::string_view code)
{
    int sections = 0;
    for (std::size_t begin = 0; begin <= code.size();)
    {
        const std::size_t end = sectionEnd(code, begin);
        if (++sections > 4) // positive, negative, zero, text
            return false;
        bool hour = false;   // an hour code so far in the section
        char elapsed = '\0'; // the unit of the section's elapsed-time code
        std::string plain;   // the units of its other time codes
        for (std::size_t i = begin; i < end; ++i)
        {
            const char c = lower(code[i]);
            if ((c == '"' || c == '[') && code.find(c == '"' ? '"' : ']', i + 1) == std::string_view::npos)
                return false; // a literal or a bracket that never closes
            if (c == '"')
                i = std::min(code.find('"', i + 1), end);
            else if (c == '\\' || c == '_' || c == '*')
                ++i;
            else if (c == '[')
            {
                const std::size_t close = std::min(code.find(']', i + 1), end);
                const std::string_view inside = code.substr(i + 1, close - i - 1);
                const char unit = inside.empty() ? '\0' : lower(inside[0]);
                const bool isElapsed =
                    (unit == 'h' || unit == 'm' || unit == 's') &&
                    std::all_of(inside.begin(), inside.end(), [unit](char u) { return lower(u) == unit; });
                if (isElapsed)
                {
                    // One elapsed-time code a section, never after an hour code.
                    if (elapsed != '\0' || hour)
                        return false;
                    elapsed = unit;
                }
                i = close;
            }
            else if (c == 'h' || c == 'm' || c == 's')
            {
                hour = hour || c == 'h';
                plain += c;
            }
        }
        // Nor beside the ordinary code of its own unit.
        if (elapsed != '\0' && plain.find(elapsed) != std::string::npos)
            return false;
        begin = end + 1;
    }
    return true;
}

std::string excelFormatName(std::string_view storedCode, int builtinId)
{
    if (!isUsableFormat(storedCode))
        return {};
    // The currency format keeps its name whatever code the workbook's locale gave it.
    if (builtinId == 8)
        return "Currency";
    // Names go by the code as the workbook spells it: Excel keeps the code of a format stored with marks the
    // named one does not have.
    const std::string spelled = spellLikeExcel(storedCode, false);
    for (const NamedFormat& named : kNamedByCode)
    {
        if (spelled == named.code)
            return std::string(named.name);
    }
    const std::string normalized = normalizeFormatCode(storedCode);
    const std::string_view code = normalized;
    // Dates in the explicit English (US) locale that spell out month or day names carry Excel's language tag in
    // front; numeric dates and times do not depend on the language.
    if (code.starts_with("[$-409]") && spellsNames(code))
        return "[ENG]" + normalized;
    if (code.empty() && builtinId >= 0)
    {
        const std::string_view name = builtinName(builtinId);
        if (!name.empty() || builtinId == 0)
            return std::string(name);
    }
    return std::string(code);
}

bool isDateFormat(std::string_view code)
{
    // Only the first section decides: positive numbers are what dates are.
    for (std::size_t i = 0; i < code.size(); ++i)
    {
        const char c = code[i];
        switch (c)
        {
        case '"': {
            const std::size_t close = code.find('"', i + 1);
            if (close == std::string_view::npos)
                return false;
            i = close;
            break;
        }
        case '\\':
        case '_':
        case '*':
            ++i; // the next character is a literal, a width or a fill
            break;
        case '[': {
            const std::size_t close = code.find(']', i + 1);
            if (close == std::string_view::npos)
                return false;
            const std::string_view inside = code.substr(i + 1, close - i - 1);
            const char first =
                inside.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(inside[0])));
            // Elapsed time is one letter repeated: [h], [mm], [ss]. Colours ([Magenta]), locales ([$-409]) and
            // conditions ([>=100]) are not dates.
            const bool timeLetter = first == 'h' || first == 'm' || first == 's';
            const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(first)));
            if (timeLetter && inside.find_first_not_of(std::string{first, upper}) == std::string_view::npos)
                return true;
            i = close;
            break;
        }
        case ';':
            return false;
        default: {
            const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower == 'd' || lower == 'm' || lower == 'y' || lower == 'h' || lower == 's')
                return true;
            // An AM/PM marker alone shows no date or time (Excel keeps such cells numbers); skip it.
            if (lower == 'a' && equalsIgnoreCase(code.substr(i, 5), "AM/PM"))
                i += 4;
            else if (lower == 'a' && equalsIgnoreCase(code.substr(i, 3), "A/P"))
                i += 2;
            if (lower == 'e' || lower == 'g')
            {
                // "General" and exponents contain no date letters worth counting; skip the word.
                if (equalsIgnoreCase(code.substr(i, 7), "General"))
                    i += 6;
            }
            break;
        }
        }
    }
    return false;
}

} // namespace velquin::engine::xmlss
