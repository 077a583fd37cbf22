// The defined names that cover a sheet's cells: Excel marks each such cell with a NamedCell element per name.
#pragma once

#include "engine/formula/R1C1Translator.h"
#include "engine/model/Workbook.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace velquin::engine::xmlss {

/// The areas on sheet `sheetName` of a name's R1C1 text ("=Sheet1!R1C1:R2C3,'My sheet'!C4,Sheet1!R5"), added to
/// `out`. False when the text is not a plain list of absolute areas (a formula, a constant, a table reference):
/// such a name covers no cells.
bool sheetAreasOf(std::string_view refersTo, std::string_view sheetName, std::vector<formula::CellRange>& out);

class NamedCells
{
public:
    /// Takes the workbook's names and the sheet's own local names that refer to areas of sheet `sheetIndex`.
    /// The names must outlive this object.
    void prepare(const model::WorkbookInfo& info, int sheetIndex);

    /// Calls `visit(name)` for each name covering the cell, in the workbook's order of names.
    template <typename Visit> void forEach(std::uint32_t row, std::uint32_t col, Visit visit) const
    {
        if (m_names.empty() || !contains(m_bounds, row, col))
            return;
        for (const Named& named : m_names)
        {
            for (std::size_t i = named.firstArea; i < named.endArea; ++i)
            {
                if (contains(m_areas[i], row, col))
                {
                    visit(named.name);
                    break;
                }
            }
        }
    }

    bool covers(std::uint32_t row, std::uint32_t col) const
    {
        bool any = false;
        forEach(row, col, [&any](std::string_view) { any = true; });
        return any;
    }

    /// The most areas kept for one sheet, so that a workbook of many names cannot make every cell slow.
    static constexpr std::size_t kMaxAreas = 1024;

private:
    struct Named
    {
        std::string_view name;
        std::size_t firstArea = 0, endArea = 0;
    };

    static bool contains(const formula::CellRange& a, std::uint32_t row, std::uint32_t col)
    {
        return row >= a.firstRow && row <= a.lastRow && col >= a.firstCol && col <= a.lastCol;
    }

    std::vector<Named> m_names;
    std::vector<formula::CellRange> m_areas;
    formula::CellRange m_bounds;
};

} // namespace velquin::engine::xmlss
