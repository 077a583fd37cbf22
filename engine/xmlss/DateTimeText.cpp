// Serial day numbers to ISO date-time text.
#include "engine/xmlss/DateTimeText.h"

#include <cmath>
#include <cstdint>

namespace velquin::engine::xmlss {

namespace {

struct CivilDate
{
    std::int64_t year;
    unsigned month, day;
};

// Days since 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
CivilDate civilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

void put(char*& out, unsigned value, int width)
{
    for (int i = width - 1; i >= 0; --i)
    {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out += width;
}

// Days from 1970-01-01 back to the day before 1900-01-01, and to 1904-01-01.
constexpr std::int64_t kDay0Of1900 = -25568; // 1899-12-31
constexpr std::int64_t kDay0Of1904 = -24107; // 1904-01-01

} // namespace

std::size_t formatDateTime(double serial, bool date1904, char* out)
{
    if (!std::isfinite(serial) || serial < -1e7 || serial > 3e6)
        return 0;
    // Excel rounds to the millisecond before it splits day and time.
    const auto totalMs = static_cast<std::int64_t>(std::llround(serial * 86400000.0));
    std::int64_t day = totalMs >= 0 ? totalMs / 86400000 : -((-totalMs + 86400000 - 1) / 86400000);
    auto msOfDay = static_cast<unsigned>(totalMs - day * 86400000);
    CivilDate date{};
    if (date1904)
        date = civilFromDays(kDay0Of1904 + day);
    else if (day == 60)
        date = {1900, 2, 29};
    else
        date = civilFromDays(kDay0Of1900 + day - (day > 60 ? 1 : 0));
    if (date.year < 1 || date.year > 9999)
        return 0;
    char* p = out;
    put(p, static_cast<unsigned>(date.year), 4);
    *p++ = '-';
    put(p, date.month, 2);
    *p++ = '-';
    put(p, date.day, 2);
    *p++ = 'T';
    put(p, msOfDay / 3600000, 2);
    msOfDay %= 3600000;
    *p++ = ':';
    put(p, msOfDay / 60000, 2);
    msOfDay %= 60000;
    *p++ = ':';
    put(p, msOfDay / 1000, 2);
    *p++ = '.';
    put(p, msOfDay % 1000, 3);
    return static_cast<std::size_t>(p - out);
}

} // namespace velquin::engine::xmlss
