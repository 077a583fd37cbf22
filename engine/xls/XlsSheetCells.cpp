// Cell records of a worksheet (LABELSST, LABEL, RSTRING, NUMBER, RK, MULRK, BOOLERR, BLANK, MULBLANK, FORMULA
// with its STRING, SHRFMLA and ARRAY), buffered by block and handed to the sink in row-major order.
#include "engine/Text.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/XlsSheetReader.h"
#include "engine/xls/formula/ConstantText.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace velquin::engine::xls {

namespace {

/// Token bytes of shared, array and table formulas kept for one sheet.
constexpr std::size_t kMaxTokenBytes = 64u * 1024 * 1024;
/// Cells buffered before they are sorted and handed on; a block of 32 rows normally flushes far earlier.
constexpr std::size_t kMaxBufferedCells = 1u << 16;
constexpr std::size_t kStopCheckInterval = 4096;
constexpr std::size_t kMaxRangeSearch = 256;

} // namespace

double decodeRk(std::uint32_t rk)
{
    double value;
    if (rk & 0x02)
        value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    else
        value = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    if (rk & 0x01)
        value /= 100;
    return value;
}

std::string_view errorText(std::uint8_t code)
{
    // A code Excel does not define shows as #N/A in a cell; formulas keep their own stricter reading.
    return formula::errorText(code).value_or("#N/A");
}

Status XlsSheetReader::streamRecord(Record& r, model::SheetSink& sink)
{
    ByteCursor c(r.bytes());
    if (r.sid == sid::Row)
    {
        rowRecord(r);
        return {};
    }
    if (r.sid == sid::DbCell)
    {
        if (m_awaitingString < 0)
            flush(sink, false);
        return {};
    }
    if (r.sid == sid::String)
    {
        stringRecord(r);
        return {};
    }
    m_awaitingString = -1;
    model::Cell cell;
    cell.row = c.u16();
    cell.col = c.u16();
    switch (r.sid)
    {
    case sid::LabelSst: {
        cell.style = styleOf(c.u16());
        std::uint32_t isst = c.u32();
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        cell.type = model::CellType::String;
        cell.text = m_g.sst.text(isst);
        cell.runs = m_g.sst.runs(isst);
        addCell(cell);
        break;
    }
    case sid::Label: {
        cell.style = styleOf(c.u16());
        std::string text = m_strings.longString(c);
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        cell.type = model::CellType::String;
        cell.text = keep(std::move(text));
        addCell(cell);
        break;
    }
    case sid::RString:
        rstringRecord(r);
        break;
    case sid::Number: {
        cell.style = styleOf(c.u16());
        cell.number = c.f64();
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        cell.type = model::CellType::Number;
        addCell(cell);
        break;
    }
    case sid::Rk: {
        cell.style = styleOf(c.u16());
        cell.number = decodeRk(c.u32());
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        cell.type = model::CellType::Number;
        addCell(cell);
        break;
    }
    case sid::BoolErr: {
        cell.style = styleOf(c.u16());
        std::uint8_t value = c.u8();
        std::uint8_t isError = c.u8();
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        if (isError)
        {
            cell.type = model::CellType::Error;
            cell.text = errorText(value);
        }
        else
        {
            cell.type = model::CellType::Boolean;
            cell.boolean = value != 0;
        }
        addCell(cell);
        break;
    }
    case sid::Blank: {
        cell.style = styleOf(c.u16());
        if (!c.ok())
            return damagedRecord(r.sid, r.offset, "is truncated");
        addCell(cell);
        break;
    }
    case sid::MulRk:
    case sid::MulBlank: {
        // Each entry is an XF index (and an RK value); the last column closes the record.
        std::size_t entry = r.sid == sid::MulRk ? 6 : 2;
        if (r.data.size() < 6 || (r.data.size() - 6) % entry != 0)
            return damagedRecord(r.sid, r.offset, "has a length that does not fit its entries");
        std::size_t count = (r.data.size() - 6) / entry;
        for (std::size_t i = 0; i < count; ++i)
        {
            model::Cell each;
            each.row = cell.row;
            each.col = cell.col + static_cast<std::uint32_t>(i);
            each.style = styleOf(c.u16());
            if (r.sid == sid::MulRk)
            {
                each.type = model::CellType::Number;
                each.number = decodeRk(c.u32());
            }
            addCell(each);
        }
        break;
    }
    case sid::Formula:
        formulaRecord(r);
        break;
    default:
        break;
    }
    if (++m_sinceStopCheck >= kStopCheckInterval)
    {
        m_sinceStopCheck = 0;
        if (sink.shouldStop())
            m_stopped = true;
    }
    if (m_cells.size() >= kMaxBufferedCells && m_awaitingString < 0)
        flush(sink, false);
    return {};
}

void XlsSheetReader::formulaRecord(const Record& r)
{
    ByteCursor c(r.bytes());
    model::Cell cell;
    cell.row = c.u16();
    cell.col = c.u16();
    cell.style = styleOf(c.u16());
    auto value = c.bytes(8);
    c.u16();
    c.u32();
    std::size_t cce = c.u16();
    auto rgce = c.bytes(cce);
    auto rgcb = c.rest();
    if (value.size() < 8)
        return;
    bool awaitString = false;
    if (value[6] == 0xFF && value[7] == 0xFF)
    {
        switch (value[0])
        {
        case 0: // the text follows in a STRING record
            cell.type = model::CellType::String;
            awaitString = true;
            break;
        case 1:
            cell.type = model::CellType::Boolean;
            cell.boolean = value[2] != 0;
            break;
        case 2:
            cell.type = model::CellType::Error;
            cell.text = errorText(value[2]);
            break;
        default: // an empty string
            cell.type = model::CellType::String;
            break;
        }
    }
    else
    {
        ByteCursor v(value);
        cell.type = model::CellType::Number;
        cell.number = v.f64();
    }
    if (c.ok())
    {
        formula::FormulaContext ctx = m_ctx;
        ctx.row = cell.row;
        ctx.col = cell.col;
        auto result = formula::decompile(rgce, rgcb, ctx);
        if (result.status && result.anchor)
        {
            auto [anchorRow, anchorCol] = *result.anchor;
            if (result.isTable)
            {
                // Data tables keep only their results.
            }
            else if (const FormulaTokens* array = findTokens(m_arrays, anchorRow, anchorCol))
            {
                if (array->firstRow == cell.row && array->firstCol == cell.col)
                {
                    if (auto text = decompile(array->rgce, array->rgcb, cell.row, cell.col, false))
                    {
                        cell.formula = keep(std::move(*text));
                        cell.arrayRange = keep(relativeRangeR1C1(cell.row, cell.col, array->firstRow, array->firstCol,
                                                                 array->lastRow, array->lastCol));
                    }
                }
            }
            else if (const FormulaTokens* shared = findTokens(m_shared, anchorRow, anchorCol))
            {
                if (auto text = decompile(shared->rgce, shared->rgcb, cell.row, cell.col, true))
                    cell.formula = keep(std::move(*text));
            }
        }
        else if (result.status && !result.text.empty())
        {
            cell.formula = keep(std::move(result.text));
        }
    }
    addCell(cell);
    if (awaitString && !m_cells.empty())
        m_awaitingString = static_cast<std::ptrdiff_t>(m_cells.size() - 1);
}

void XlsSheetReader::stringRecord(Record& r)
{
    if (m_awaitingString < 0 || static_cast<std::size_t>(m_awaitingString) >= m_cells.size())
        return;
    auto index = static_cast<std::size_t>(m_awaitingString);
    m_awaitingString = -1;
    if (!m_stream.joinContinues(r, kMaxJoinedRecord))
        return;
    std::string text;
    if (m_biff8)
    {
        ContinuedReader c(r);
        std::size_t cch = c.u16();
        std::uint8_t flags = c.u8();
        std::vector<std::uint16_t> units;
        c.chars(cch, (flags & 0x01) != 0, units);
        appendUtf16(text, units);
    }
    else
    {
        ByteCursor c(r.bytes());
        std::size_t cch = c.u16();
        text = m_decoder.decode(c.bytes(std::min(cch, c.remaining())));
    }
    m_cells[index].cell.text = keep(std::move(text));
}

void XlsSheetReader::rstringRecord(const Record& r)
{
    ByteCursor c(r.bytes());
    model::Cell cell;
    cell.row = c.u16();
    cell.col = c.u16();
    cell.style = styleOf(c.u16());
    std::vector<std::uint16_t> units;
    if (m_biff8)
    {
        std::size_t cch = c.u16();
        std::uint8_t flags = c.u8();
        if (flags & 0x01)
            for (std::size_t i = 0; i < cch && c.ok(); ++i)
                units.push_back(c.u16());
        else
            for (std::size_t i = 0; i < cch && c.ok(); ++i)
                units.push_back(c.u8());
    }
    else
    {
        std::size_t cch = c.u16();
        std::string decoded = m_decoder.decode(c.bytes(std::min(cch, c.remaining())));
        // Run positions count bytes; for single-byte code pages that is the character index.
        for (std::size_t i = 0; i < decoded.size();)
        {
            char32_t cp = 0;
            const std::size_t len = decodeUtf8(std::string_view(decoded).substr(i), cp);
            units.push_back(len == 0 || cp > 0xFFFF ? 0xFFFD : static_cast<std::uint16_t>(cp));
            i += len == 0 ? 1 : len;
        }
    }
    if (!c.ok())
        return;
    std::size_t runCount = m_biff8 ? c.u16() : c.u8();
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points;
    for (std::size_t i = 0; i < runCount && c.ok(); ++i)
    {
        std::uint16_t ich = m_biff8 ? c.u16() : c.u8();
        std::uint16_t ifnt = m_biff8 ? c.u16() : c.u8();
        if (c.ok())
            points.emplace_back(ich, ifnt);
    }
    auto fonts = [this](std::uint16_t ifnt) {
        const FontRecord* f = fontAt(m_g.styles, ifnt);
        return f ? toRunFont(*f, m_g.styles.palette) : model::TextRun::Font{};
    };
    std::string text;
    appendUtf16(text, units);
    cell.type = model::CellType::String;
    cell.text = keep(std::move(text));
    if (!points.empty())
    {
        m_runArena.push_back(splitRuns(units, points, fonts));
        cell.runs = m_runArena.back();
    }
    addCell(cell);
}

void XlsSheetReader::addCell(model::Cell cell)
{
    if (cell.row >= model::kMaxRows || cell.col >= model::kMaxColumns)
        return;
    m_cells.push_back({cell, m_order++});
}

void XlsSheetReader::flush(model::SheetSink& sink, bool all)
{
    // Within a block cells come in row-major order; sort anyway so that a writer that strays cannot break
    // the order the sink relies on. Of two cells at one place the later record wins, as in Excel.
    std::stable_sort(m_cells.begin(), m_cells.end(), [](const PendingCell& a, const PendingCell& b) {
        return std::tie(a.cell.row, a.cell.col) < std::tie(b.cell.row, b.cell.col);
    });
    for (std::size_t i = 0; i < m_cells.size(); ++i)
    {
        const model::Cell& cell = m_cells[i].cell;
        if (i + 1 < m_cells.size() && m_cells[i + 1].cell.row == cell.row && m_cells[i + 1].cell.col == cell.col)
            continue;
        auto row = static_cast<std::int64_t>(cell.row);
        auto col = static_cast<std::int64_t>(cell.col);
        if (row < m_emittedRow || (row == m_emittedRow && col <= m_emittedCol))
            continue; // a cell behind the ones already written cannot be placed any more
        emitRowsUpTo(sink, row);
        sink.cell(cell);
        m_emittedRow = row;
        m_emittedCol = col;
    }
    m_cells.clear();
    m_arena.clear();
    m_runArena.clear();
    m_awaitingString = -1;
    if (all)
        emitRowsUpTo(sink, std::numeric_limits<std::int64_t>::max());
}

int XlsSheetReader::styleOf(std::uint16_t ixfe) const
{
    return ixfe < m_styleCount ? static_cast<int>(m_styleBase + ixfe) : -1;
}

std::string_view XlsSheetReader::keep(std::string text)
{
    m_arena.push_back(std::move(text));
    return m_arena.back();
}

Status XlsSheetReader::collectFormulaTokens(const Record& r)
{
    ByteCursor c(r.bytes());
    FormulaTokens t;
    t.firstRow = c.u16();
    t.lastRow = c.u16();
    t.firstCol = c.u8();
    t.lastCol = c.u8();
    std::size_t cce = 0;
    if (r.sid == sid::ShrFmla)
    {
        c.u16(); // reserved byte and use count
        cce = c.u16();
    }
    else
    {
        c.u16();
        c.u32();
        cce = c.u16();
    }
    auto rgce = c.bytes(cce);
    auto rgcb = c.rest();
    if (!c.ok())
        return damagedRecord(r.sid, r.offset, "holds more formula tokens than bytes");
    m_tokenBytes += r.data.size();
    if (m_tokenBytes > kMaxTokenBytes)
        return {EngineErrc::LimitExceeded, "The sheet holds more shared formulas than allowed."};
    t.rgce.assign(rgce.begin(), rgce.end());
    t.rgcb.assign(rgcb.begin(), rgcb.end());
    auto& map = r.sid == sid::ShrFmla ? m_shared : m_arrays;
    map[{t.firstRow, t.firstCol}] = std::move(t);
    return {};
}

const XlsSheetReader::FormulaTokens* XlsSheetReader::findTokens(const std::map<CellKey, FormulaTokens>& map,
                                                                std::uint32_t row, std::uint32_t col) const
{
    if (auto it = map.find({row, col}); it != map.end())
        return &it->second;
    // Some writers point at a cell inside the range rather than its first cell. The search is bounded so that a
    // file with many groups and many stray references cannot make reading quadratic.
    if (map.size() > kMaxRangeSearch)
        return nullptr;
    for (const auto& [key, tokens] : map)
        if (row >= tokens.firstRow && row <= tokens.lastRow && col >= tokens.firstCol && col <= tokens.lastCol)
            return &tokens;
    return nullptr;
}

} // namespace velquin::engine::xls
