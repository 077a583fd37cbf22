// What the sheet writer needs to know about each cell format: its ss:StyleID and whether it shows dates.
#pragma once

#include "engine/model/Workbook.h"

#include <cstdint>
#include <vector>

namespace velquin::engine::xmlss {

class StyleTable
{
public:
    explicit StyleTable(const model::WorkbookInfo& info);

    /// The default style: the "Normal" named style, or SpreadsheetML's defaults when the workbook has none.
    const model::CellStyle& defaultStyle() const { return m_default; }
    /// True when cell format `index` needs its own ss:Style (it differs from the default).
    bool isWritten(int index) const { return valid(index) && m_written[static_cast<std::size_t>(index)] != 0; }
    /// The cell format whose ss:ID stands for `index`: the first one alike in everything (`index` itself when none
    /// comes before it). Only for formats that are written.
    int sameAs(int index) const { return valid(index) ? m_same[static_cast<std::size_t>(index)] : index; }
    /// True when a number in cell format `index` is written as DateTime.
    bool isDate(int index) const { return valid(index) && m_date[static_cast<std::size_t>(index)] != 0; }

private:
    bool valid(int index) const { return index >= 0 && static_cast<std::size_t>(index) < m_date.size(); }

    model::CellStyle m_default;
    std::vector<std::uint8_t> m_written;
    std::vector<std::uint8_t> m_date;
    std::vector<int> m_same;
};

} // namespace velquin::engine::xmlss
