// Second pass over a binary worksheet part: rows and cells, with shared and array formulas.
#include "engine/xlsb/BinarySheetReader.h"

#include "engine/Text.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/formula/ConstantText.h"
#include "engine/xlsb/RecordTypes.h"
#include "engine/xlsb/WideString.h"
#include "engine/xlsx/SharedStrings.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <unordered_map>

namespace velquin::engine::xlsb {

using namespace model;

namespace {

constexpr std::size_t kMaxFormulaBytes = std::size_t(256) << 20;
constexpr unsigned kStopCheckEvery = 4096;

std::uint64_t cellKey(std::uint32_t row, std::uint32_t col)
{
    return (std::uint64_t{row} << 16) | col;
}

// The tokens of a shared or array formula, kept from its record until the sheet ends.
struct FormulaTokens
{
    std::uint32_t firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    std::vector<std::uint8_t> rgce, rgcb;
    std::string text; ///< a shared formula's text, decompiled once: relative references read alike in every cell
};

// A cell whose record may still be waiting for the shared or array formula that follows it.
struct PendingCell
{
    Cell cell;
    std::string text;
    std::vector<std::uint8_t> rgce, rgcb;
    bool active = false;
};

double rkNumber(std::uint32_t rk)
{
    double value = 0;
    if (rk & 0x02)
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    else
    {
        const std::uint64_t bits = std::uint64_t{rk & 0xFFFFFFFCu} << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 0x01) ? value / 100 : value;
}

class CellReader
{
public:
    CellReader(BinarySheetContext& context, SheetSink& sink, const std::string& partName)
        : m_context(context), m_sink(sink), m_partName(partName)
    {}

    Status read(const Record& record)
    {
        if (m_pending.active && record.type != rt::BrtShrFmla && record.type != rt::BrtArrFmla)
            flushPending();
        ByteCursor c(record.body);
        switch (record.type)
        {
        case rt::BrtRowHdr:
            return row(c, record);
        case rt::BrtCellBlank:
        case rt::BrtCellRk:
        case rt::BrtCellError:
        case rt::BrtCellBool:
        case rt::BrtCellReal:
        case rt::BrtCellSt:
        case rt::BrtCellIsst:
        case rt::BrtCellRString:
            return value(record.type, c, record, false);
        case rt::BrtShortBlank:
        case rt::BrtShortRk:
        case rt::BrtShortError:
        case rt::BrtShortBool:
        case rt::BrtShortReal:
        case rt::BrtShortSt:
        case rt::BrtShortIsst:
            return value(record.type - (rt::BrtShortBlank - rt::BrtCellBlank), c, record, true);
        case rt::BrtFmlaString:
        case rt::BrtFmlaNum:
        case rt::BrtFmlaBool:
        case rt::BrtFmlaError:
            return formulaCell(record.type, c, record);
        case rt::BrtShrFmla:
        case rt::BrtArrFmla:
            return sharedFormula(record.type == rt::BrtArrFmla, c, record);
        default:
            return {};
        }
    }

    void finish()
    {
        if (m_pending.active)
            flushPending();
    }

    bool shouldStop()
    {
        return ++m_cells % kStopCheckEvery == 0 && m_sink.shouldStop();
    }

private:
    Status damaged(const Record& record, const std::string& what) const
    {
        return {EngineErrc::DamagedFile, m_partName + ": " + what + " (record " + std::to_string(record.type) +
                                             " at offset " + std::to_string(record.offset) + ")"};
    }

    Status row(ByteCursor& c, const Record& record)
    {
        std::uint32_t number = 0, style = 0;
        std::uint16_t height = 0, flags = 0;
        if (!c.readU32(number) || !c.readU32(style) || !c.readU16(height) || !c.readU16(flags))
            return damaged(record, "row record is cut short");
        if (number >= kMaxRows)
            return damaged(record, "row " + std::to_string(number + 1) + " is outside the sheet");
        if (m_haveRow && number <= m_row)
            return damaged(record, "row " + std::to_string(number + 1) + " comes after row " +
                                       std::to_string(m_row + 1));
        m_haveRow = true;
        m_row = number;
        m_lastCol = -1;
        RowInfo info;
        info.row = number;
        if (height <= 409 * 20 + 10)
            info.height = height / 20.0;
        info.customHeight = (flags & 0x2000) != 0;
        info.hidden = (flags & 0x1000) != 0;
        if (flags & 0x4000)
            info.style = styleIndex(style);
        m_sink.row(info);
        return {};
    }

    int styleIndex(std::uint32_t style) const
    {
        return style < m_context.styleCount ? static_cast<int>(style) : -1;
    }

    // The column and style every cell record starts with; a short record has only the style, its cell being the
    // one after the row's previous cell.
    Status cellStart(ByteCursor& c, const Record& record, Cell& cell, bool shortForm = false)
    {
        std::uint32_t col = static_cast<std::uint32_t>(m_lastCol + 1), style = 0;
        if ((!shortForm && !c.readU32(col)) || !c.readU32(style))
            return damaged(record, "cell record is cut short");
        if (!m_haveRow)
            return damaged(record, "a cell comes before any row");
        if (col >= kMaxColumns)
            return damaged(record, "column " + std::to_string(col + 1) + " is outside the sheet");
        if (static_cast<std::int64_t>(col) <= m_lastCol)
            return damaged(record, "cells of row " + std::to_string(m_row + 1) + " are out of order");
        m_lastCol = col;
        cell = {};
        cell.row = m_row;
        cell.col = col;
        cell.style = styleIndex(style & 0xFFFFFF);
        return {};
    }

    Status value(std::uint32_t type, ByteCursor& c, const Record& record, bool shortForm)
    {
        Cell cell;
        if (Status status = cellStart(c, record, cell, shortForm); !status)
            return status;
        bool ok = true;
        std::uint8_t byte = 0;
        std::uint32_t word = 0;
        switch (type)
        {
        case rt::BrtCellBlank:
            break;
        case rt::BrtCellRk:
            ok = c.readU32(word);
            cell.type = CellType::Number;
            cell.number = rkNumber(word);
            break;
        case rt::BrtCellError:
            ok = c.readU8(byte);
            cell.type = CellType::Error;
            cell.text = xls::formula::errorText(byte).value_or("#N/A");
            break;
        case rt::BrtCellBool:
            ok = c.readU8(byte);
            cell.type = CellType::Boolean;
            cell.boolean = byte != 0;
            break;
        case rt::BrtCellReal:
            ok = c.readDouble(cell.number);
            cell.type = CellType::Number;
            break;
        case rt::BrtCellSt:
            ok = readWideString(c, m_text);
            cell.type = CellType::String;
            cell.text = m_text;
            break;
        case rt::BrtCellIsst:
            ok = c.readU32(word);
            if (ok && (!m_context.strings || word >= m_context.strings->size()))
                return damaged(record, "cell refers to shared string " + std::to_string(word) +
                                           ", which the table does not hold");
            cell.type = CellType::String;
            if (ok)
            {
                cell.text = m_context.strings->text(word);
                cell.runs = m_context.strings->runs(word);
            }
            break;
        case rt::BrtCellRString:
            ok = richText(c, cell);
            break;
        default:
            break;
        }
        if (!ok)
            return damaged(record, "cell record is cut short");
        m_sink.cell(cell);
        return {};
    }

    bool richText(ByteCursor& c, Cell& cell)
    {
        ByteCursor start = c;
        std::vector<FontRun> runs;
        if (!readRichString(c, m_text, runs))
            return false;
        cell.type = CellType::String;
        cell.text = m_text;
        m_runs.clear();
        if (!runs.empty() && m_context.fonts)
        {
            m_runs = splitRichString(start, runs, m_context.fonts);
            cell.runs = m_runs;
        }
        return true;
    }

    Status formulaCell(std::uint32_t type, ByteCursor& c, const Record& record)
    {
        PendingCell pending;
        Cell& cell = pending.cell;
        if (Status status = cellStart(c, record, cell); !status)
            return status;
        bool ok = true;
        std::uint8_t byte = 0;
        switch (type)
        {
        case rt::BrtFmlaString:
            ok = readWideString(c, pending.text);
            cell.type = CellType::String;
            break;
        case rt::BrtFmlaNum:
            ok = c.readDouble(cell.number);
            cell.type = CellType::Number;
            break;
        case rt::BrtFmlaBool:
            ok = c.readU8(byte);
            cell.type = CellType::Boolean;
            cell.boolean = byte != 0;
            break;
        default:
            ok = c.readU8(byte);
            cell.type = CellType::Error;
            pending.text = xls::formula::errorText(byte).value_or("#N/A");
            break;
        }
        std::uint16_t flags = 0;
        std::uint32_t cce = 0, cb = 0;
        std::span<const std::uint8_t> rgce, rgcb;
        if (!ok || !c.readU16(flags) || !c.readU32(cce) || !c.readBytes(cce, rgce) || !c.readU32(cb) ||
            !c.readBytes(cb, rgcb))
            return damaged(record, "formula cell is cut short");
        // The first cell of a shared or array formula names itself; the tokens follow in the next record.
        if (!rgce.empty() && rgce[0] == 0x01)
        {
            auto result = xls::formula::decompile(rgce, rgcb, m_context.formulas);
            if (result.anchor && result.anchor->first == cell.row && result.anchor->second == cell.col &&
                !m_arrays.contains(cellKey(cell.row, cell.col)))
            {
                pending.rgce.assign(rgce.begin(), rgce.end());
                pending.rgcb.assign(rgcb.begin(), rgcb.end());
                pending.active = true;
                m_pending = std::move(pending);
                return {};
            }
        }
        emit(pending, rgce, rgcb);
        return {};
    }

    void flushPending()
    {
        m_pending.active = false;
        emit(m_pending, m_pending.rgce, m_pending.rgcb);
    }

    void emit(PendingCell& pending, std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb)
    {
        Cell& cell = pending.cell;
        if (cell.type == CellType::String || cell.type == CellType::Error)
            cell.text = pending.text;
        m_formula = formulaText(cell, rgce, rgcb);
        cell.formula = m_formula;
        cell.arrayRange = m_arrayRange;
        m_sink.cell(cell);
    }

    std::string formulaText(const Cell& cell, std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb)
    {
        m_arrayRange.clear();
        auto& ctx = m_context.formulas;
        ctx.row = cell.row;
        ctx.col = cell.col;
        ctx.sharedFormula = false;
        auto result = xls::formula::decompile(rgce, rgcb, ctx);
        if (!result.status)
            return {};
        if (!result.anchor)
            return std::move(result.text);
        const auto [anchorRow, anchorCol] = *result.anchor;
        const std::uint64_t key = cellKey(anchorRow, anchorCol);
        if (auto array = m_arrays.find(key); array != m_arrays.end())
        {
            // Only the array's first cell shows the formula.
            if (anchorRow != cell.row || anchorCol != cell.col)
                return {};
            const FormulaTokens& tokens = array->second;
            auto text = xls::formula::decompile(tokens.rgce, tokens.rgcb, ctx);
            if (!text.status || text.anchor)
                return {};
            m_arrayRange = xls::relativeRangeR1C1(cell.row, cell.col, tokens.firstRow, tokens.firstCol,
                                                  tokens.lastRow, tokens.lastCol);
            return std::move(text.text);
        }
        auto shared = m_shared.find(key);
        if (shared == m_shared.end())
            return {};
        FormulaTokens& tokens = shared->second;
        if (tokens.text.empty())
        {
            ctx.sharedFormula = true;
            auto text = xls::formula::decompile(tokens.rgce, tokens.rgcb, ctx);
            ctx.sharedFormula = false;
            if (!text.status || text.anchor)
                return {};
            tokens.text = std::move(text.text);
        }
        return tokens.text;
    }

    Status sharedFormula(bool array, ByteCursor& c, const Record& record)
    {
        FormulaTokens tokens;
        std::uint32_t cce = 0, cb = 0;
        std::uint8_t flags = 0;
        std::span<const std::uint8_t> rgce, rgcb;
        if (!c.readU32(tokens.firstRow) || !c.readU32(tokens.lastRow) || !c.readU32(tokens.firstCol) ||
            !c.readU32(tokens.lastCol) || (array && !c.readU8(flags)) || !c.readU32(cce) ||
            !c.readBytes(cce, rgce) || !c.readU32(cb) || !c.readBytes(cb, rgcb))
            return damaged(record, "shared formula is cut short");
        if (!m_pending.active)
            return {};
        m_bytes += rgce.size() + rgcb.size() + sizeof(FormulaTokens) + 64;
        if (m_bytes > kMaxFormulaBytes)
            return {EngineErrc::LimitExceeded, m_partName + ": shared formulas exceed 256 MB"};
        tokens.rgce.assign(rgce.begin(), rgce.end());
        tokens.rgcb.assign(rgcb.begin(), rgcb.end());
        const Cell& anchor = m_pending.cell;
        (array ? m_arrays : m_shared)[cellKey(anchor.row, anchor.col)] = std::move(tokens);
        flushPending();
        return {};
    }

    BinarySheetContext& m_context;
    SheetSink& m_sink;
    const std::string& m_partName;
    bool m_haveRow = false;
    std::uint32_t m_row = 0;
    std::int64_t m_lastCol = -1;
    unsigned m_cells = 0;
    std::string m_text, m_formula, m_arrayRange;
    std::vector<TextRun> m_runs;
    PendingCell m_pending;
    std::unordered_map<std::uint64_t, FormulaTokens> m_shared, m_arrays;
    std::size_t m_bytes = 0;
};

} // namespace

Status readBinarySheetCells(RecordReader& records, BinarySheetContext& context, SheetSink& sink)
{
    CellReader reader(context, sink, records.partName());
    bool inData = false;
    Status status = forEachRecord(records, [&](const Record& record, bool& more) -> Status {
        if (record.type == rt::BrtBeginSheetData)
            inData = true;
        else if (record.type == rt::BrtEndSheetData)
            more = false;
        else if (inData)
        {
            if (Status read = reader.read(record); !read)
                return read;
            if (reader.shouldStop())
                return {EngineErrc::Timeout, records.partName()};
        }
        return {};
    });
    if (!status)
        return status;
    reader.finish();
    return {};
}

} // namespace velquin::engine::xlsb
