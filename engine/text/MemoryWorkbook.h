// A workbook held in memory, for the text formats (web pages, XML Spreadsheets, delimited text): their readers
// parse the whole file once and fill this, and the writer streams the sheets out of it in row-major order.
#pragma once

#include "engine/Error.h"
#include "engine/model/WorkbookReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::text {

/// The most cells all sheets of one text file may hold together (each costs some 50 bytes here).
inline constexpr std::size_t kMaxStoredCells = 16u << 20;

/// One worksheet's cells, rows and options. Cells may be added in any order; a later cell at the same position
/// replaces an earlier one.
class MemorySheet
{
public:
    explicit MemorySheet(std::size_t& cellsStored) : m_cellsStored(&cellsStored) {}

    model::SheetHeader header;
    model::SheetOptions options;

    void addRow(const model::RowInfo& row) { m_rows.push_back(row); }
    /// Copies the cell's text, runs, formula and array range. False when the workbook's cell budget is spent.
    bool addCell(const model::Cell& cell);
    std::size_t cellCount() const { return m_cells.size(); }

    /// Sorts the cells and rows and streams them to `sink`, polling the deadline and the sink's stop request.
    Status stream(model::SheetSink& sink);

private:
    struct StoredCell
    {
        std::uint32_t row = 0, col = 0;
        std::uint32_t sequence = 0; ///< order of arrival, so the last of two cells at one place wins
        int style = -1;
        model::CellType type = model::CellType::Blank;
        bool boolean = false;
        double number = 0;
        std::uint32_t text = 0, textSize = 0;
        std::uint32_t formula = 0, formulaSize = 0;
        std::uint32_t arrayRange = 0, arrayRangeSize = 0;
        int runs = -1; ///< index into m_runs
    };

    std::uint32_t store(std::string_view text, std::uint32_t& size);
    std::string_view stored(std::uint32_t offset, std::uint32_t size) const { return {m_strings.data() + offset, size}; }

    std::vector<StoredCell> m_cells;
    std::vector<model::RowInfo> m_rows;
    std::vector<std::vector<model::TextRun>> m_runs;
    std::string m_strings;
    std::size_t* m_cellsStored; ///< the workbook's count, against kMaxStoredCells
};

class MemoryWorkbook : public model::WorkbookReader
{
public:
    model::WorkbookInfo workbook;
    std::vector<MemorySheet> sheets; ///< one per workbook.sheets entry

    /// Adds a worksheet named `name` (made unique and valid by sheetNameFrom) and returns it.
    MemorySheet& addSheet(std::string_view name);
    const model::WorkbookInfo& info() const override { return workbook; }
    Status readSheet(int index, model::SheetSink& sink) override;

private:
    std::size_t m_cellsStored = 0;
};

/// Adds the default "Normal" named style and cell style 0 using `font` when the reader has set none.
void addDefaultStyles(model::WorkbookInfo& workbook);

/// A sheet name Excel accepts, made from `name`: the characters : \ / ? * [ ] replaced by "_", at most 31
/// characters, "Sheet1" when nothing is left, and a " (2)" suffix when `taken` already holds it.
std::string sheetNameFrom(std::string_view name, const std::vector<model::SheetEntry>& taken);

} // namespace velquin::engine::text
