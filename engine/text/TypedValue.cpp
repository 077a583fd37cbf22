// Typing of imported text as Excel types it.
#include "engine/text/TypedValue.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <langinfo.h>
#include <locale.h>

namespace velquin::engine::text {

namespace {

constexpr std::array<std::string_view, 7> kErrors{"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

std::string_view trimmed(std::string_view text)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    // A no-break space (as web pages write &nbsp;) counts as space too.
    while (text.size() >= 2 && text.substr(0, 2) == "\xC2\xA0")
        text.remove_prefix(2);
    while (text.size() >= 2 && text.substr(text.size() - 2) == "\xC2\xA0")
        text.remove_suffix(2);
    return text;
}

// Digits with optional thousands separators, a decimal point and an exponent, as one number. `grouped` and
// `decimals` tell what the text showed.
bool parseNumberBody(std::string_view text, double& value, bool& grouped, bool& decimals, bool& exponent)
{
    std::string digits;
    std::size_t i = 0;
    std::size_t groupLength = 0;
    bool seenGroup = false;
    std::size_t integerDigits = 0;
    while (i < text.size() && (isDigit(text[i]) || text[i] == ','))
    {
        if (text[i] == ',')
        {
            if (integerDigits == 0 || (seenGroup && groupLength != 3) || (!seenGroup && groupLength > 3))
                return false;
            seenGroup = true;
            groupLength = 0;
        }
        else
        {
            digits += text[i];
            ++groupLength;
            ++integerDigits;
        }
        ++i;
    }
    if (seenGroup && groupLength != 3)
        return false;
    grouped = seenGroup;
    decimals = false;
    if (i < text.size() && text[i] == '.')
    {
        digits += '.';
        ++i;
        while (i < text.size() && isDigit(text[i]))
        {
            digits += text[i++];
            decimals = true;
        }
    }
    if (integerDigits == 0 && !decimals)
        return false;
    exponent = false;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e') && !grouped)
    {
        std::size_t j = i + 1;
        std::string tail = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            tail += text[j++];
        if (j >= text.size() || !isDigit(text[j]))
            return false;
        while (j < text.size() && isDigit(text[j]))
            tail += text[j++];
        digits += tail;
        i = j;
        exponent = true;
    }
    if (i != text.size())
        return false;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return error == std::errc() && end == digits.data() + digits.size() && std::isfinite(value);
}

bool parseNumber(std::string_view text, TypedValue& out)
{
    bool negative = false;
    bool parentheses = false;
    bool currency = false;
    bool percent = false;
    if (text.size() >= 2 && text.front() == '(' && text.back() == ')')
    {
        parentheses = true;
        text = text.substr(1, text.size() - 2);
    }
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
    {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '$')
    {
        currency = true;
        text.remove_prefix(1);
        if (!parentheses && !negative && !text.empty() && text.front() == '-')
        {
            negative = true;
            text.remove_prefix(1);
        }
    }
    if (!text.empty() && text.back() == '%' && !currency)
    {
        percent = true;
        text.remove_suffix(1);
    }
    if (parentheses && negative)
        return false;
    double value = 0;
    bool grouped = false, decimals = false, exponent = false;
    if (!parseNumberBody(text, value, grouped, decimals, exponent))
        return false;
    if (percent)
        value /= 100;
    out.type = model::CellType::Number;
    out.number = negative || parentheses ? -value : value;
    if (percent)
        out.formatId = decimals ? 10 : 9;
    else if (currency)
        out.formatId = decimals ? 7 : 5;
    else if (exponent)
        out.formatId = 11;
    else if (grouped)
        out.formatId = decimals ? 4 : 3;
    return true;
}

// Reads up to `maxDigits` digits as a number; false when there are none.
bool readInt(std::string_view& text, std::size_t maxDigits, int& value)
{
    std::size_t i = 0;
    value = 0;
    while (i < text.size() && i < maxDigits && isDigit(text[i]))
        value = value * 10 + (text[i++] - '0');
    if (i == 0 || (i < text.size() && isDigit(text[i])))
        return false;
    text.remove_prefix(i);
    return true;
}

// "h:mm", "h:mm:ss" with an optional " AM"/" PM"; the fraction of a day.
bool parseTime(std::string_view text, double& fraction, int& formatId)
{
    int hour = 0, minute = 0, second = 0;
    if (!readInt(text, 2, hour) || text.empty() || text.front() != ':')
        return false;
    text.remove_prefix(1);
    if (!readInt(text, 2, minute) || minute > 59)
        return false;
    bool seconds = false;
    if (!text.empty() && text.front() == ':')
    {
        text.remove_prefix(1);
        if (!readInt(text, 2, second) || second > 59)
            return false;
        seconds = true;
    }
    bool meridiem = false;
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    if (equalsIgnoreCase(text, "AM") || equalsIgnoreCase(text, "PM") || equalsIgnoreCase(text, "A") ||
        equalsIgnoreCase(text, "P"))
    {
        if (hour < 1 || hour > 12)
            return false;
        const bool pm = text.front() == 'P' || text.front() == 'p';
        hour = hour % 12 + (pm ? 12 : 0);
        meridiem = true;
        text = {};
    }
    if (!text.empty() || hour > 23)
        return false;
    fraction = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
    formatId = meridiem ? (seconds ? 19 : 18) : (seconds ? 21 : 20);
    return true;
}

// A numeric date with "/" or "-" between its parts, optionally followed by a time.
bool parseDate(std::string_view text, DateOrder order, double& serial, int& formatId)
{
    int parts[3] = {0, 0, 0};
    std::size_t lengths[3] = {0, 0, 0};
    char separator = 0;
    std::string_view rest = text;
    for (int i = 0; i < 3; ++i)
    {
        const std::size_t before = rest.size();
        if (!readInt(rest, 4, parts[i]))
            return false;
        lengths[i] = before - rest.size();
        if (i == 2)
            break;
        if (rest.empty() || (rest.front() != '/' && rest.front() != '-'))
            return false;
        if (separator && rest.front() != separator)
            return false;
        separator = rest.front();
        rest.remove_prefix(1);
    }
    int year = 0, month = 0, day = 0;
    if (lengths[0] == 4)
    {
        year = parts[0];
        month = parts[1];
        day = parts[2];
    }
    else if (order == DateOrder::DayMonthYear)
    {
        day = parts[0];
        month = parts[1];
        year = parts[2];
    }
    else
    {
        month = parts[0];
        day = parts[1];
        year = parts[2];
    }
    const std::size_t yearLength = lengths[0] == 4 ? lengths[0] : lengths[2];
    if ((lengths[0] == 4 && lengths[2] > 2) || (lengths[0] != 4 && (lengths[1] > 2 || lengths[0] > 2)))
        return false;
    if (yearLength <= 2)
        year += year < 30 ? 2000 : 1900;
    else if (yearLength != 4)
        return false;
    serial = serialFromDate(year, month, day);
    if (serial < 0)
        return false;
    formatId = 14;
    if (!rest.empty())
    {
        if (rest.front() != ' ')
            return false;
        while (!rest.empty() && rest.front() == ' ')
            rest.remove_prefix(1);
        double fraction = 0;
        int timeFormat = 0;
        if (!parseTime(rest, fraction, timeFormat))
            return false;
        serial += fraction;
        formatId = 22;
    }
    return true;
}

} // namespace

namespace {

DateOrder dateOrderOf(const char* format)
{
    for (const char* p = format; p && *p; ++p)
    {
        if (*p != '%' || !p[1])
            continue;
        switch (p[1])
        {
        case 'd':
        case 'e':
            return DateOrder::DayMonthYear;
        case 'Y':
        case 'y':
        case 'F':
            return DateOrder::YearMonthDay;
        case 'm':
        case 'D':
            return DateOrder::MonthDayYear;
        default:
            break;
        }
    }
    return DateOrder::MonthDayYear;
}

// The environment's locale (LANG, LC_TIME), read without changing the process's own, which other code relies on
// for the spelling of numbers.
DateOrder readLocaleDateOrder()
{
    locale_t locale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!locale)
        return DateOrder::MonthDayYear;
    const DateOrder order = dateOrderOf(nl_langinfo_l(D_FMT, locale));
    freelocale(locale);
    return order;
}

} // namespace

DateOrder localeDateOrder()
{
    static const DateOrder order = readLocaleDateOrder();
    return order;
}

double serialFromDate(int year, int month, int day)
{
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1)
        return -1;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0))
        return -1;
    // Days from 1899-12-31 by the civil calendar (days_from_civil).
    auto civil = [](long long y, long long m, long long d) {
        y -= m <= 2;
        const long long era = (y >= 0 ? y : y - 399) / 400;
        const long long yoe = y - era * 400;
        const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
        const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
        return era * 146097 + doe;
    };
    long long days = civil(year, month, day) - civil(1899, 12, 31);
    // Excel counts a 29 February 1900 that never was.
    if (days >= 60)
        ++days;
    return static_cast<double>(days);
}

TypedValue typeValue(std::string_view text, DateOrder order)
{
    TypedValue out;
    const std::string_view value = trimmed(text);
    if (value.empty())
        return out;
    if (equalsIgnoreCase(value, "TRUE") || equalsIgnoreCase(value, "FALSE"))
    {
        out.type = model::CellType::Boolean;
        out.boolean = value.size() == 4;
        return out;
    }
    for (std::string_view error : kErrors)
    {
        if (equalsIgnoreCase(value, error))
        {
            out.type = model::CellType::Error;
            out.error = error;
            return out;
        }
    }
    if (parseNumber(value, out))
        return out;
    double serial = 0;
    int formatId = 0;
    if (parseDate(value, order, serial, formatId) || parseTime(value, serial, formatId))
    {
        out.type = model::CellType::Number;
        out.number = serial;
        out.formatId = formatId;
    }
    return out;
}

} // namespace velquin::engine::text
