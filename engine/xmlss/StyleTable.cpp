// Precomputed facts about the workbook's cell formats.
#include "engine/xmlss/StyleTable.h"

#include "engine/xmlss/NumberFormat.h"

namespace velquin::engine::xmlss {

StyleTable::StyleTable(const model::WorkbookInfo& info)
{
    if (!info.namedStyles.empty())
        m_default = info.namedStyles.front().style;
    m_written.reserve(info.cellStyles.size());
    m_date.reserve(info.cellStyles.size());
    for (const model::CellStyle& style : info.cellStyles)
    {
        model::CellStyle comparable = style;
        comparable.parentStyle = m_default.parentStyle;
        comparable.numberFormatId = m_default.numberFormatId;
        const bool sameFormat = excelFormatName(style.numberFormat, style.numberFormatId) ==
                                excelFormatName(m_default.numberFormat, m_default.numberFormatId);
        comparable.numberFormat = m_default.numberFormat;
        m_written.push_back(comparable == m_default && sameFormat ? 0 : 1);
        const int id = style.numberFormatId;
        const bool builtinDate = style.numberFormat.empty() && ((id >= 14 && id <= 22) || (id >= 45 && id <= 47));
        m_date.push_back((builtinDate || isDateFormat(style.numberFormat)) && isUsableFormat(style.numberFormat) ? 1 : 0);
    }
}

} // namespace velquin::engine::xmlss
