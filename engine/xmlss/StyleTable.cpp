// Precomputed facts about the workbook's cell formats.
#include "engine/xmlss/StyleTable.h"

#include "engine/xmlss/NumberFormat.h"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace velquin::engine::xmlss {

namespace {

// Formats compared before two are taken as different, so that a file full of near-identical formats stays linear.
constexpr std::size_t kMaxCompared = 16;

std::size_t roughHash(const model::CellStyle& style)
{
    std::size_t h = std::hash<std::string>{}(style.numberFormat);
    const auto mix = [&h](std::size_t value) { h ^= value + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2); };
    mix(std::hash<std::string>{}(style.font.name));
    mix(std::hash<double>{}(style.font.size));
    mix(static_cast<std::size_t>(style.font.bold) | static_cast<std::size_t>(style.font.italic) << 1 |
        static_cast<std::size_t>(style.font.underline) << 2);
    mix(style.font.color
            ? (std::size_t{style.font.color->r} << 16 | std::size_t{style.font.color->g} << 8 | style.font.color->b)
            : 0x1000000);
    mix(style.interior.color ? (std::size_t{style.interior.color->r} << 16 | std::size_t{style.interior.color->g} << 8 |
                                style.interior.color->b)
                             : 0x1000000);
    mix(static_cast<std::size_t>(style.interior.pattern));
    mix(static_cast<std::size_t>(style.borders.bottom.lineStyle) | static_cast<std::size_t>(style.borders.top.lineStyle)
                                                                       << 4);
    mix(static_cast<std::size_t>(style.alignment.horizontal) | static_cast<std::size_t>(style.alignment.vertical) << 4);
    mix(static_cast<std::size_t>(style.parentStyle + 1));
    return h;
}

} // namespace

StyleTable::StyleTable(const model::WorkbookInfo& info)
{
    if (!info.namedStyles.empty())
        m_default = info.namedStyles.front().style;
    m_written.reserve(info.cellStyles.size());
    m_date.reserve(info.cellStyles.size());
    m_same.reserve(info.cellStyles.size());
    std::unordered_map<std::size_t, std::vector<int>> byHash;
    for (std::size_t i = 0; i < info.cellStyles.size(); ++i)
    {
        const model::CellStyle& style = info.cellStyles[i];
        model::CellStyle comparable = style;
        comparable.parentStyle = m_default.parentStyle;
        comparable.numberFormatId = m_default.numberFormatId;
        const bool sameFormat = excelFormatName(style.numberFormat, style.numberFormatId) ==
                                excelFormatName(m_default.numberFormat, m_default.numberFormatId);
        comparable.numberFormat = m_default.numberFormat;
        m_written.push_back(comparable == m_default && sameFormat ? 0 : 1);
        const int id = style.numberFormatId;
        const bool builtinDate = style.numberFormat.empty() && ((id >= 14 && id <= 22) || (id >= 45 && id <= 47));
        m_date.push_back((builtinDate || isDateFormat(style.numberFormat)) && isUsableFormat(style.numberFormat) ? 1
                                                                                                                 : 0);
        // Excel writes one Style for formats that are alike in everything.
        int same = static_cast<int>(i);
        if (m_written.back() != 0)
        {
            std::vector<int>& candidates = byHash[roughHash(style)];
            for (std::size_t c = 0; c < candidates.size() && c < kMaxCompared; ++c)
            {
                if (info.cellStyles[static_cast<std::size_t>(candidates[c])] == style)
                {
                    same = candidates[c];
                    break;
                }
            }
            if (same == static_cast<int>(i))
                candidates.push_back(same);
        }
        m_same.push_back(same);
    }
}

} // namespace velquin::engine::xmlss
