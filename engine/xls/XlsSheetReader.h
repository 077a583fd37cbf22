// Streams one worksheet substream: a cheap first pass for what precedes the cells in the output (merges, links,
// comments, columns, window options), then a second pass that hands the cells to the sink in row-major order.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/xls/RecordStream.h"
#include "engine/xls/XlsGlobals.h"
#include "engine/xls/formula/FormulaDecompiler.h"

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace velquin::engine::xls {

class XlsSheetReader
{
public:
    /// `cellStyleCount` is the number of XFs; cells naming another XF get the default style.
    XlsSheetReader(const XlsGlobals& globals, RecordStream& stream, CodepageDecoder& decoder,
                   std::size_t cellStyleCount);

    /// Reads sheet `index` of the globals. Errors: DamagedFile, LimitExceeded, and the sink's stop request as
    /// Timeout.
    Status read(int index, model::SheetSink& sink);

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

    Status collect(model::SheetHeader& header, model::SheetOptions& options);
    Status collectRecord(Record& r, model::SheetHeader& header, model::SheetOptions& options);
    void collectTxo(const Record& r);
    void collectNote(const Record& r);
    void collectDv(const Record& r, model::SheetOptions& options);
    void collectCf(const Record& r, model::SheetOptions& options);
    void finishHeader(model::SheetHeader& header, model::SheetOptions& options);

    Status stream(model::SheetSink& sink);
    Status streamRecord(Record& r, model::SheetSink& sink);
    void rowRecord(const Record& r, model::SheetSink& sink);
    void formulaRecord(const Record& r);
    void stringRecord(Record& r);
    void addCell(model::Cell cell, model::SheetSink& sink);
    void flush(model::SheetSink& sink, bool all);
    int styleOf(std::uint16_t ixfe) const;
    std::string_view keep(std::string text);
    std::string decompile(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb,
                          std::uint32_t row, std::uint32_t col, bool shared);

    const XlsGlobals& m_g;
    RecordStream& m_stream;
    CodepageDecoder& m_decoder;
    StringReader m_strings;
    std::size_t m_styleCount;
    bool m_biff8;
    formula::FormulaContext m_ctx;
    std::uint64_t m_start = 0;

    // First pass
    std::map<std::pair<std::uint32_t, std::uint32_t>, FormulaTokens> m_shared, m_arrays;
    std::map<std::pair<std::uint32_t, std::uint32_t>, bool> m_tables;
    std::size_t m_tokenBytes = 0;
    std::map<std::uint16_t, std::vector<model::TextRun>> m_texts; ///< TXO text by object id
    std::vector<NoteRecord> m_notes;
    std::uint16_t m_lastObjId = 0;
    bool m_lastObjIsNote = false;
    bool m_autoFilter = false;
    std::vector<model::Hyperlink> m_tooltips;

    // Second pass
    std::vector<PendingCell> m_cells;
    std::map<std::uint32_t, model::RowInfo> m_rows;
    std::deque<std::string> m_arena;
    std::deque<std::vector<model::TextRun>> m_runArena;
    std::int64_t m_emittedRow = -1;
    std::int64_t m_emittedCol = -1;
    std::ptrdiff_t m_awaitingString = -1;
    std::size_t m_order = 0;
    std::size_t m_sinceStopCheck = 0;
    bool m_stopped = false;
};

} // namespace velquin::engine::xls
