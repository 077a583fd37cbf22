// Which cells of a sheet a defined name covers.
#include "engine/xmlss/NamedCells.h"

#include "engine/model/Sheet.h"

#include <algorithm>

namespace velquin::engine::xmlss {

namespace {

/// Reads a row or column number of at most `limit` after its letter; false when none (or a relative "[n]").
bool readNumber(std::string_view text, std::size_t& at, std::uint32_t limit, std::uint32_t& value)
{
    std::size_t start = at;
    std::uint64_t n = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 8)
        n = n * 10 + static_cast<std::uint64_t>(text[at++] - '0');
    if (at == start || n == 0 || n > limit)
        return false;
    value = static_cast<std::uint32_t>(n - 1);
    return true;
}

/// One corner or edge: "R1C1", "R1" (a whole row) or "C1" (a whole column).
struct Edge
{
    bool hasRow = false, hasCol = false;
    std::uint32_t row = 0, col = 0;
};

bool readEdge(std::string_view text, std::size_t& at, Edge& edge)
{
    if (at < text.size() && text[at] == 'R')
    {
        ++at;
        if (!readNumber(text, at, model::kMaxRows, edge.row))
            return false;
        edge.hasRow = true;
    }
    if (at < text.size() && text[at] == 'C')
    {
        ++at;
        if (!readNumber(text, at, model::kMaxColumns, edge.col))
            return false;
        edge.hasCol = true;
    }
    return edge.hasRow || edge.hasCol;
}

bool readArea(std::string_view text, CellArea& area)
{
    std::size_t at = 0;
    Edge first, last;
    if (!readEdge(text, at, first))
        return false;
    last = first;
    if (at < text.size() && text[at] == ':')
    {
        ++at;
        if (!readEdge(text, at, last) || last.hasRow != first.hasRow || last.hasCol != first.hasCol)
            return false;
    }
    if (at != text.size())
        return false;
    area.firstRow = first.hasRow ? std::min(first.row, last.row) : 0;
    area.lastRow = first.hasRow ? std::max(first.row, last.row) : model::kMaxRows - 1;
    area.firstCol = first.hasCol ? std::min(first.col, last.col) : 0;
    area.lastCol = first.hasCol ? std::max(first.col, last.col) : model::kMaxColumns - 1;
    return true;
}

} // namespace

bool sheetAreasOf(std::string_view refersTo, std::string_view sheetName, std::vector<CellArea>& out)
{
    if (refersTo.empty() || refersTo.front() != '=')
        return false;
    std::size_t at = 1;
    std::vector<CellArea> found;
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
        CellArea area;
        if (!readArea(refersTo.substr(at, comma - at), area))
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
    for (const CellArea& a : m_areas)
    {
        m_bounds.firstRow = std::min(m_bounds.firstRow, a.firstRow);
        m_bounds.firstCol = std::min(m_bounds.firstCol, a.firstCol);
        m_bounds.lastRow = std::max(m_bounds.lastRow, a.lastRow);
        m_bounds.lastCol = std::max(m_bounds.lastCol, a.lastCol);
    }
}

} // namespace velquin::engine::xmlss
