// Streams one worksheet as a SpreadsheetML 2003 Worksheet element, one function per element.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/model/Workbook.h"
#include "engine/xmlss/NamedCells.h"
#include "engine/xmlss/StyleTable.h"
#include "engine/xmlss/XmlOutput.h"

#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

namespace velquin::engine::xmlss {

/// Receives the cells of one worksheet at a time from a reader and writes them at once: nothing per cell is kept,
/// so memory does not grow with the sheet. Merges, links and comments of the header are looked up by position;
/// cells a reader never sends (a comment on an empty cell, the anchor of an empty merged range) are written in
/// order between the cells it does send. Cells out of row-major order or beyond the sheet limits are dropped,
/// because Excel refuses a file whose cells go backwards.
class SheetWriter : public model::SheetSink
{
public:
    SheetWriter(XmlOutput& out, const model::WorkbookInfo& info, const StyleTable& styles);

    /// The index into WorkbookInfo::sheets of the sheet the reader streams next (names and visibility are looked up
    /// by it, whatever the reader puts in SheetHeader::index).
    void setSheetIndex(int index) { m_sheetIndex = index; }
    void beginSheet(const model::SheetHeader& header) override;
    void row(const model::RowInfo& row) override;
    void cell(const model::Cell& cell) override;
    void endSheet(const model::SheetOptions& options) override;
    /// True once the thread's deadline (engine/Deadline.h) has passed or the output failed.
    bool shouldStop() const override;
    /// Timeout when the thread's deadline passed, else the output's status.
    Status error() const;
    /// True between beginSheet and endSheet: a reader that returns then has left the Worksheet unfinished.
    bool sheetOpen() const { return m_header != nullptr; }
    /// Per cell format index, non-zero when a Cell, Row or Column written so far refers to it.
    const std::vector<std::uint8_t>& usedStyles() const { return m_usedStyles; }
    /// Cell formats made for the anchors of merged areas whose right or bottom edge carries a border the anchor
    /// lacks; index i is written as ss:ID "m" + i.
    const std::vector<model::CellStyle>& mergedStyles() const { return m_mergedStyles; }

private:
    struct Extra
    {
        std::uint64_t key = 0;
        int merge = -1, link = -1, comment = -1;
    };

    static std::uint64_t key(std::uint32_t row, std::uint32_t col) { return (std::uint64_t{row} << 16) | col; }

    void collectExtras();
    void emitExtrasBefore(std::uint64_t limit);
    const Extra* extraAt(std::uint64_t position);
    void advanceMergesTo(std::uint32_t row);
    int coveringMerge(std::uint32_t row, std::uint32_t col) const;
    bool coveredByMerge(std::uint32_t row, std::uint32_t col) const { return coveringMerge(row, col) >= 0; }
    void noteMergeEdge(int merge, const model::Cell& cell);
    void reserveMergedStyle(int merge, int style, std::uint64_t offset);
    void patchMergedStyles();
    int mergedStyleFor(int style, int rightStyle, int bottomStyle);

    void writeWorksheetStart();
    void writeTableStart();
    void writeColumns();
    void writeColumn(const model::ColumnInfo& column, std::uint32_t& nextColumn);
    void openRow(std::uint32_t row);
    void writeRowStart(const model::RowInfo& info, bool empty);
    void closeRow();
    void flushPendingRow();
    void writeCell(const model::Cell& cell, const Extra* extra);
    void writeData(const model::Cell& cell);
    void writeRichText(std::span<const model::TextRun> runs);
    void writeRun(const model::TextRun& run);
    void writeComment(const model::Comment& comment);
    void writeTableEnd();
    void writeWorksheetOptions(const model::SheetOptions& options);
    void writePanes(const model::SheetOptions& options);
    void writeSelection(const model::Selection& selection);
    void writeAutoFilter(const model::SheetOptions& options);
    void writeDataValidation(const model::DataValidation& validation);
    void writeConditionalFormats(const std::vector<model::ConditionalFormat>& formats);
    void writeConditionalFormatting(const model::ConditionalFormat& format);
    void writeTextElement(const char* indent, const char* element, std::string_view value);
    void writeNumberElement(const char* indent, const char* element, std::int64_t value);
    void patchExpandedCounts();
    void styleAttribute(int style);
    bool columnStyled(std::uint32_t col) const;

    XmlOutput& m_out;
    const model::WorkbookInfo& m_info;
    const StyleTable& m_styles;
    std::vector<std::uint8_t> m_usedStyles;

    int m_sheetIndex = 0;
    model::SheetHeader m_headerCopy;
    const model::SheetHeader* m_header = nullptr;
    NamedCells m_namedCells;
    std::vector<Extra> m_extras;
    std::size_t m_nextExtra = 0;
    std::vector<std::size_t> m_mergeOrder; ///< merges by first row
    std::size_t m_nextMerge = 0;
    std::vector<std::size_t> m_activeMerges; ///< merges spanning the current row, by first column
    std::uint32_t m_mergeRow = 0;
    bool m_mergesPrimed = false;
    /// The anchor of a merged area as written: where its ss:StyleID went, and the formats of the cells whose
    /// right and bottom borders are the area's (the top-right and the bottom-left cell).
    struct MergeAnchor
    {
        std::uint64_t styleOffset = 0;
        int style = -1, rightStyle = -1, bottomStyle = -1;
        bool written = false;
    };
    std::vector<MergeAnchor> m_mergeAnchors; ///< by index into the header's merges
    std::vector<model::CellStyle> m_mergedStyles;
    std::map<std::tuple<int, int, int>, int> m_mergedStyleIds; ///< (anchor, top-right, bottom-left) formats

    std::uint64_t m_countsOffset = 0;
    std::uint32_t m_columnCount = 0, m_rowCount = 0;
    struct ColumnSpan
    {
        std::uint32_t first = 0, last = 0;
    };
    std::vector<ColumnSpan> m_styledColumns; ///< columns with a format of their own, in order
    bool m_openRowStyled = false;            ///< the open row has a format of its own
    bool m_rowOpen = false;
    std::uint32_t m_openRow = 0;
    bool m_havePendingRow = false;
    model::RowInfo m_pendingRow;
    bool m_anyRowWritten = false;
    std::uint32_t m_lastRowWritten = 0;
    std::uint32_t m_nextColumn = 0; ///< column an unindexed Cell would take in the open row
    bool m_anyCell = false;
    std::uint64_t m_lastCellKey = 0;
};

} // namespace velquin::engine::xmlss
