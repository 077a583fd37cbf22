// Cell formats of a text file, kept once each.
#include "engine/text/StylePool.h"

#include "engine/model/NumberFormats.h"

#include <algorithm>
#include <array>

namespace velquin::engine::text {

namespace {

struct NamedFormat
{
    std::string_view name;
    int id;
};

// The format names of SpreadsheetML and the built-in formats they stand for.
constexpr std::array<NamedFormat, 14> kFormatNames{{{"General", 0},
                                                    {"General Number", 0},
                                                    {"Fixed", 2},
                                                    {"Standard", 4},
                                                    {"Percent", 10},
                                                    {"Scientific", 11},
                                                    {"Short Date", 14},
                                                    {"Medium Date", 15},
                                                    {"Short Time", 20},
                                                    {"Medium Time", 18},
                                                    {"Long Time", 19},
                                                    {"General Date", 22},
                                                    {"Currency", 8},
                                                    {"@", 49}}};

} // namespace

void setNumberFormat(std::string_view format, model::CellStyle& style)
{
    for (const NamedFormat& named : kFormatNames)
    {
        if (named.name == format)
        {
            style.numberFormatId = named.id;
            style.numberFormat = std::string(model::builtinNumberFormat(named.id));
            return;
        }
    }
    if (format == "Long Date")
    {
        style.numberFormatId = -1;
        style.numberFormat = "dddd, mmmm d, yyyy";
        return;
    }
    style.numberFormatId = -1;
    style.numberFormat = format.empty() ? "General" : std::string(format);
}

int StylePool::add(const model::CellStyle& style)
{
    auto& styles = m_workbook.cellStyles;
    const auto found = std::find(styles.begin(), styles.end(), style);
    if (found != styles.end())
        return static_cast<int>(found - styles.begin());
    if (styles.size() >= kMaxCellStyles)
        return -1;
    styles.push_back(style);
    return static_cast<int>(styles.size() - 1);
}

int StylePool::withFormat(const model::CellStyle& base, int formatId)
{
    model::CellStyle style = base;
    style.numberFormatId = formatId;
    style.numberFormat = std::string(model::builtinNumberFormat(formatId));
    if (style.numberFormat.empty())
        style.numberFormat = "General";
    return add(style);
}

} // namespace velquin::engine::text
