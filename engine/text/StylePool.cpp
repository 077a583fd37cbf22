// Cell formats of a text file, kept once each.
#include "engine/text/StylePool.h"

#include "engine/model/NumberFormats.h"

#include <algorithm>

namespace velquin::engine::text {

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
