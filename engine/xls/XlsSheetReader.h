// Streams one worksheet substream: a cheap first pass for what precedes the cells in the output (merges, links,
// comments, columns, window options), then a second pass that hands the cells to the sink in row-major order.
// The records of each family are read in a file of their own: XlsSheetCells.cpp, XlsSheetRowsColumns.cpp,
// XlsSheetOptions.cpp and XlsSheetObjects.cpp.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/xls/CondFmtRecords.h"
#include "engine/xls/OldBiffRecords.h"
#include "engine/xls/RecordStream.h"
#include "engine/xls/XlsGlobals.h"
#include "engine/xls/formula/FormulaDecompiler.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velquin::engine::xls {

/// The value an RK number encodes (MS-XLS RkNumber): a 30-bit integer or the high bits of a double, either
/// optionally divided by 100.
double decodeRk(std::uint32_t rk);

/// The text Excel shows for a BIFF error code ("#DIV/0!"), "#N/A" for unknown codes.
std::string_view errorText(std::uint8_t code);

/// "C7:E8" for "R7C3:R8C5", "A1" for "R1C1"; nothing for relative or other references.
std::optional<std::string> absoluteR1C1ToA1(std::string_view text);

class XlsSheetReader
{
public:
    /// `cellStyleCount` is the number of XFs; cells naming another XF get the default style. XF n is the
    /// workbook's cell style `styleBase` + n (a sheet of an Excel 4.0 workbook has XFs of its own).
    XlsSheetReader(const XlsGlobals& globals, RecordStream& stream, CodepageDecoder& decoder,
                   std::size_t cellStyleCount, std::size_t styleBase = 0);

    /// Reads sheet `index` of the globals, which the sink knows as sheet `workbookIndex` (by default the same).
    /// Errors: DamagedFile, LimitExceeded, and the sink's stop request as Timeout.
    Status read(int index, model::SheetSink& sink, int workbookIndex = -1);

private:
    struct FormulaTokens
    {
        std::uint32_t firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
        std::vector<std::uint8_t> rgce, rgcb;
    };
    struct NoteRecord
    {
        std::uint32_t row = 0, col = 0;
        std::uint16_t objId = 0;
        bool shown = false;
        std::string author;
        std::string biff5Text;
    };
    struct PendingCell
    {
        model::Cell cell;
        std::size_t order = 0;
    };
    using CellKey = std::pair<std::uint32_t, std::uint32_t>;
    /// A CONDFMT with the rules read so far; the formats become Style text once CFEX records had their say.
    struct PendingCondFmt
    {
        model::ConditionalFormat format;
        std::uint32_t firstRow = 0, firstCol = 0;
        std::uint16_t rulesLeft = 0; ///< CF records that may still follow it
        std::uint16_t rulesSeen = 0;
        std::vector<std::pair<std::uint16_t, DifferentialFormat>> ruleFormats; ///< CF position, format
    };

    /// Calls `handle` on each record of the sheet's own substream for which `wanted(sid)` holds, skipping the
    /// others and nested substreams, until the sheet's EOF (or until the sink asks to stop).
    template <typename Wanted, typename Handle> Status walkSubstream(Record& r, Wanted wanted, Handle handle);
    Status collect(model::SheetHeader& header, model::SheetOptions& options);
    Status collectRecord(Record& r, model::SheetHeader& header, model::SheetOptions& options);
    void finishHeader(model::SheetHeader& header, model::SheetOptions& options);
    Status stream(model::SheetSink& sink);
    std::optional<std::string> decompile(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb,
                                         std::uint32_t row, std::uint32_t col, bool shared);

    // Cells (XlsSheetCells.cpp)
    Status collectFormulaTokens(const Record& r);
    Status streamRecord(Record& r, model::SheetSink& sink);
    void formulaRecord(const Record& r);
    void stringRecord(Record& r);
    void rstringRecord(const Record& r);
    void addCell(model::Cell cell);
    void flush(model::SheetSink& sink, bool all);
    int styleOf(std::uint16_t ixfe) const;
    std::string_view keep(std::string text);
    const FormulaTokens* findTokens(const std::map<CellKey, FormulaTokens>& map, std::uint32_t row,
                                    std::uint32_t col) const;

    // Rows and columns (XlsSheetRowsColumns.cpp)
    static double digitPixelsOf(const XlsGlobals& g);
    void collectRowColumnRecord(const Record& r, model::SheetHeader& header);
    void collectColInfo(const Record& r, model::SheetHeader& header);
    void collectMerges(const Record& r, model::SheetHeader& header);
    void finishColumns(model::SheetHeader& header) const;
    void rowRecord(const Record& r);
    void emitRowsUpTo(model::SheetSink& sink, std::int64_t lastRow);

    // Sheet options (XlsSheetOptions.cpp)
    Status collectOptionRecord(Record& r, model::SheetOptions& options);
    void collectWindow2(const Record& r, model::SheetOptions& options);
    void collectPane(const Record& r, model::SheetOptions& options);
    void collectSelection(const Record& r, model::SheetOptions& options);
    void collectDv(const Record& r, model::SheetOptions& options);
    void collectCondFmt(const Record& r);
    void collectCondFmt12(const Record& r);
    void collectCf(const Record& r);
    void collectCfEx(const Record& r);
    void finishConditionalFormats(model::SheetOptions& options);
    void finishAutoFilter(model::SheetOptions& options) const;

    // Drawing objects, notes and links (XlsSheetObjects.cpp)
    Status collectObjectRecord(Record& r, model::SheetHeader& header);
    void collectObj(const Record& r);
    void collectTxo(const Record& r);
    void collectNote(const Record& r);
    void finishLinks(model::SheetHeader& header);
    void finishComments(model::SheetHeader& header);
    void resolveLocalNameLinks(model::SheetHeader& header) const;

    const XlsGlobals& m_g;
    RecordStream& m_stream;
    CodepageDecoder& m_decoder;
    StringReader m_strings;
    std::size_t m_styleCount;
    std::size_t m_styleBase;
    bool m_biff8;
    OldRecordTranslator m_old; ///< Excel 2.x-4.x records into their Excel 5.0 shape
    formula::FormulaContext m_ctx;
    double m_digitPixels = 7;
    std::uint64_t m_start = 0;
    int m_sheetIndex = 0;

    // First pass
    std::map<CellKey, FormulaTokens> m_shared, m_arrays;
    std::size_t m_tokenBytes = 0;
    std::map<std::uint16_t, std::vector<model::TextRun>> m_texts; ///< TXO text by object id
    std::vector<NoteRecord> m_notes;
    std::uint16_t m_lastObjId = 0;
    bool m_lastObjIsNote = false;
    bool m_autoFilter = false;
    std::vector<model::Hyperlink> m_tooltips;
    std::vector<model::Hyperlink> m_formulaLinks; ///< cells whose formula is HYPERLINK("...")
    double m_standardWidth = -1;                  ///< STANDARDWIDTH in characters, when present
    std::uint16_t m_defaultRowTwips = 255;
    std::vector<PendingCondFmt> m_condFmts;
    std::map<std::uint16_t, std::size_t> m_condFmtById; ///< CONDFMT id -> index in m_condFmts
    std::size_t m_condFmtBytes = 0;

    // Second pass
    std::vector<PendingCell> m_cells;
    std::map<std::uint32_t, model::RowInfo> m_rows;
    std::deque<std::string> m_arena;
    std::deque<std::vector<model::TextRun>> m_runArena;
    std::int64_t m_emittedRow = -1;
    std::int64_t m_emittedCol = -1;
    std::int64_t m_rowOpen = -1; ///< the last row handed to the sink through row()
    std::ptrdiff_t m_awaitingString = -1;
    std::size_t m_order = 0;
    std::size_t m_sinceStopCheck = 0;
    bool m_stopped = false;
};

} // namespace velquin::engine::xls
