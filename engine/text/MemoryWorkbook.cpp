// A workbook held in memory for the readers of text formats.
#include "engine/text/MemoryWorkbook.h"

#include "engine/Deadline.h"
#include "engine/Text.h"

#include <algorithm>
#include <limits>
#include <new>

namespace velquin::engine::text {

namespace {

bool sameName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

} // namespace

std::uint32_t MemorySheet::store(std::string_view text, std::uint32_t& size)
{
    if (text.size() > std::numeric_limits<std::uint32_t>::max() ||
        m_strings.size() > std::numeric_limits<std::uint32_t>::max() - text.size())
        throw std::bad_alloc();
    const auto offset = static_cast<std::uint32_t>(m_strings.size());
    m_strings.append(text);
    size = static_cast<std::uint32_t>(text.size());
    return offset;
}

bool MemorySheet::addCell(const model::Cell& cell)
{
    if (cell.row >= model::kMaxRows || cell.col >= model::kMaxColumns)
        return true;
    if (*m_cellsStored >= kMaxStoredCells)
        return false;
    ++*m_cellsStored;
    StoredCell stored;
    stored.row = cell.row;
    stored.col = cell.col;
    stored.sequence = static_cast<std::uint32_t>(m_cells.size());
    stored.style = cell.style;
    stored.type = cell.type;
    stored.boolean = cell.boolean;
    stored.number = cell.number;
    stored.text = store(cell.text, stored.textSize);
    stored.formula = store(cell.formula, stored.formulaSize);
    stored.arrayRange = store(cell.arrayRange, stored.arrayRangeSize);
    if (!cell.runs.empty())
    {
        stored.runs = static_cast<int>(m_runs.size());
        m_runs.emplace_back(cell.runs.begin(), cell.runs.end());
    }
    m_cells.push_back(stored);
    return true;
}

Status MemorySheet::stream(model::SheetSink& sink)
{
    std::stable_sort(m_cells.begin(), m_cells.end(), [](const StoredCell& a, const StoredCell& b) {
        return a.row != b.row ? a.row < b.row : a.col != b.col ? a.col < b.col : a.sequence < b.sequence;
    });
    std::stable_sort(m_rows.begin(), m_rows.end(),
                     [](const model::RowInfo& a, const model::RowInfo& b) { return a.row < b.row; });
    sink.beginSheet(header);
    std::size_t nextRow = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < m_cells.size(); ++i)
    {
        const StoredCell& entry = m_cells[i];
        // Of two cells at one place the later one counts.
        if (i + 1 < m_cells.size() && m_cells[i + 1].row == entry.row && m_cells[i + 1].col == entry.col)
            continue;
        while (nextRow < m_rows.size() && m_rows[nextRow].row <= entry.row)
        {
            if (nextRow + 1 == m_rows.size() || m_rows[nextRow + 1].row != m_rows[nextRow].row)
                sink.row(m_rows[nextRow]);
            ++nextRow;
        }
        model::Cell cell;
        cell.row = entry.row;
        cell.col = entry.col;
        cell.style = entry.style;
        cell.type = entry.type;
        cell.boolean = entry.boolean;
        cell.number = entry.number;
        cell.text = stored(entry.text, entry.textSize);
        cell.formula = stored(entry.formula, entry.formulaSize);
        cell.arrayRange = stored(entry.arrayRange, entry.arrayRangeSize);
        if (entry.runs >= 0)
            cell.runs = m_runs[static_cast<std::size_t>(entry.runs)];
        sink.cell(cell);
        if (++count % 4096 == 0)
        {
            if (sink.shouldStop())
                return {};
            if (Status status = checkDeadline(); !status)
                return status;
        }
    }
    for (; nextRow < m_rows.size(); ++nextRow)
    {
        if (nextRow + 1 == m_rows.size() || m_rows[nextRow + 1].row != m_rows[nextRow].row)
            sink.row(m_rows[nextRow]);
    }
    sink.endSheet(options);
    return {};
}

Status MemoryWorkbook::readSheet(int index, model::SheetSink& sink)
{
    if (index < 0 || static_cast<std::size_t>(index) >= sheets.size())
        return {EngineErrc::DamagedFile, "no sheet " + std::to_string(index)};
    MemorySheet& sheet = sheets[static_cast<std::size_t>(index)];
    sheet.header.index = index;
    return sheet.stream(sink);
}

MemorySheet& MemoryWorkbook::addSheet(std::string_view name)
{
    model::SheetEntry entry;
    entry.name = sheetNameFrom(name, workbook.sheets);
    workbook.sheets.push_back(entry);
    sheets.emplace_back(m_cellsStored);
    sheets.back().header.name = entry.name;
    sheets.back().header.index = static_cast<int>(sheets.size() - 1);
    return sheets.back();
}

void addDefaultStyles(model::WorkbookInfo& workbook)
{
    if (workbook.namedStyles.empty())
    {
        model::NamedStyle normal;
        normal.name = "Normal";
        normal.builtinId = 0;
        if (!workbook.cellStyles.empty())
            normal.style = workbook.cellStyles.front();
        workbook.namedStyles.push_back(normal);
    }
    if (workbook.cellStyles.empty())
        workbook.cellStyles.push_back(workbook.namedStyles.front().style);
}

std::string sheetNameFrom(std::string_view name, const std::vector<model::SheetEntry>& taken)
{
    std::string base;
    std::size_t characters = 0;
    while (!name.empty() && characters < 31)
    {
        char32_t code = 0;
        std::size_t length = decodeUtf8(name, code);
        if (length == 0)
        {
            name.remove_prefix(1);
            continue;
        }
        if (code < 0x20 || code == ':' || code == '\\' || code == '/' || code == '?' || code == '*' || code == '[' ||
            code == ']')
            base += '_';
        else
            base.append(name.substr(0, length));
        name.remove_prefix(length);
        ++characters;
    }
    while (!base.empty() && base.front() == '\'')
        base.erase(0, 1);
    while (!base.empty() && base.back() == '\'')
        base.pop_back();
    if (base.empty())
        base = "Sheet1";
    auto isTaken = [&](std::string_view candidate) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const model::SheetEntry& entry) { return sameName(entry.name, candidate); });
    };
    std::string candidate = base;
    for (int suffix = 2; isTaken(candidate) && suffix < 100000; ++suffix)
    {
        std::string tail = " (" + std::to_string(suffix) + ")";
        std::string cut = base;
        while (cut.size() + tail.size() > 31 && !cut.empty())
        {
            cut.pop_back();
            while (!cut.empty() && (static_cast<unsigned char>(cut.back()) & 0xC0) == 0x80)
                cut.pop_back();
            if (!cut.empty() && static_cast<unsigned char>(cut.back()) >= 0xC0)
                cut.pop_back();
        }
        candidate = cut + tail;
    }
    return candidate;
}

} // namespace velquin::engine::text
