// Which cells of a sheet a defined name covers.
#include "engine/xmlss/NamedCells.h"

#include "engine/formula/R1C1Translator.h"

#include <algorithm>

namespace velquin::engine::xmlss {

bool sheetAreasOf(std::string_view refersTo, std::string_view sheetName, std::vector<formula::CellRange>& out)
{
    if (refersTo.empty() || refersTo.front() != '=')
        return false;
    std::size_t at = 1;
    std::vector<formula::CellRange> found;
    for (;;)
    {
        // The sheet: 'quoted, with '' for a quote' or plain up to the '!'.
        std::string sheet;
        if (at < refersTo.size() && refersTo[at] == '\'')
        {
            for (++at;; ++at)
            {
                if (at >= refersTo.size())
                    return false;
                if (refersTo[at] == '\'')
                {
                    if (at + 1 < refersTo.size() && refersTo[at + 1] == '\'')
                        ++at;
                    else
                        break;
                }
                sheet += refersTo[at];
            }
            ++at;
        }
        else
        {
            const std::size_t bang = refersTo.find('!', at);
            if (bang == std::string_view::npos)
                return false;
            sheet.assign(refersTo.substr(at, bang - at));
            at = bang;
        }
        if (at >= refersTo.size() || refersTo[at] != '!')
            return false;
        ++at;
        const std::size_t comma = std::min(refersTo.find(',', at), refersTo.size());
        formula::CellRange area;
        if (!formula::parseR1C1Range(refersTo.substr(at, comma - at), area))
            return false;
        if (sheet == sheetName)
            found.push_back(area);
        if (comma == refersTo.size())
            break;
        at = comma + 1;
    }
    out.insert(out.end(), found.begin(), found.end());
    return true;
}

void NamedCells::prepare(const model::WorkbookInfo& info, int sheetIndex)
{
    m_names.clear();
    m_areas.clear();
    if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= info.sheets.size())
        return;
    const std::string_view sheetName = info.sheets[static_cast<std::size_t>(sheetIndex)].name;
    for (const model::DefinedName& name : info.names)
    {
        if (name.sheet != -1 && name.sheet != sheetIndex)
            continue;
        const std::size_t first = m_areas.size();
        if (!sheetAreasOf(name.refersTo, sheetName, m_areas))
            continue;
        if (m_areas.size() > kMaxAreas)
        {
            m_areas.resize(first);
            break;
        }
        if (m_areas.size() > first)
            m_names.push_back({name.name, first, m_areas.size()});
    }
    if (m_areas.empty())
        return;
    m_bounds = m_areas.front();
    for (const formula::CellRange& a : m_areas)
    {
        m_bounds.firstRow = std::min(m_bounds.firstRow, a.firstRow);
        m_bounds.firstCol = std::min(m_bounds.firstCol, a.firstCol);
        m_bounds.lastRow = std::max(m_bounds.lastRow, a.lastRow);
        m_bounds.lastCol = std::max(m_bounds.lastCol, a.lastCol);
    }
}

} // namespace velquin::engine::xmlss
