// Row and column records of a worksheet: default sizes (DEFCOLWIDTH, STANDARDWIDTH, DEFAULTROWHEIGHT), COLINFO,
// MERGECELLS, and the ROW records that open rows while the cells stream.
#include "engine/xls/XlsSheetReader.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace velquin::engine::xls {

namespace {

constexpr std::size_t kMaxMergesPerSheet = 1u << 20;

/// Width in points of a column `characters` wide (padding included), for the default font's digit width.
double columnWidthPoints(double characters, double digitPixels)
{
    return characters * digitPixels * 0.75;
}

} // namespace

/// Pixel width of the digits of the workbook's default font at 96 dpi, which column widths are counted in:
/// 7 for Arial 10 and Calibri 11, 8 for Calibri 12.
double XlsSheetReader::digitPixelsOf(const XlsGlobals& g)
{
    std::uint16_t fontIndex = g.styles.xfs.empty() ? 0 : g.styles.xfs[0].font;
    const FontRecord* font = fontAt(g.styles, fontIndex);
    double size = font && font->height > 0 ? font->height : 10;
    return std::clamp(std::floor(size * 2 / 3 + 0.5), 1.0, 100.0);
}

void XlsSheetReader::collectRowColumnRecord(const Record& r, model::SheetHeader& header)
{
    ByteCursor c(r.bytes());
    switch (r.sid)
    {
    case sid::DefColWidth: {
        std::uint16_t chars = c.u16();
        // The stored width leaves out the five pixels of padding, and Excel rounds the default width up to a
        // multiple of eight pixels.
        if (c.ok() && header.defaultColumnWidth < 0)
            header.defaultColumnWidth = std::ceil((chars * m_digitPixels + 5) / 8) * 8 * 0.75;
        break;
    }
    case sid::StandardWidth: {
        std::uint16_t w = c.u16();
        if (c.ok())
            m_standardWidth = w / 256.0;
        break;
    }
    case sid::DefaultRowHeight: {
        c.u16();
        std::uint16_t twips = c.u16();
        if (c.ok())
        {
            m_defaultRowTwips = twips & 0x7FFF;
            header.defaultRowHeight = m_defaultRowTwips / 20.0;
        }
        break;
    }
    case sid::ColInfo:
        collectColInfo(r, header);
        break;
    case sid::MergeCells:
        collectMerges(r, header);
        break;
    default:
        break;
    }
}

void XlsSheetReader::collectColInfo(const Record& r, model::SheetHeader& header)
{
    ByteCursor c(r.bytes());
    model::ColumnInfo col;
    col.first = c.u16();
    col.last = c.u16();
    std::uint16_t width = c.u16();
    std::uint16_t ixfe = c.u16();
    std::uint16_t flags = c.u16();
    if (!c.ok() || col.first > col.last || col.first >= model::kMaxColumns)
        return;
    // Excel writes one COLINFO for the columns past the last used one up to 255 (BIFF8) or 256.
    col.last = std::min<std::uint32_t>(col.last, 255);
    col.first = std::min(col.first, col.last);
    col.hidden = flags & 0x0001;
    bool custom = (flags & 0x0002) != 0 || width != 0;
    if (custom || col.hidden)
        col.width = columnWidthPoints(width / 256.0, m_digitPixels);
    col.autoFit = !(flags & 0x0002);
    int style = styleOf(ixfe);
    col.style = ixfe == 15 ? -1 : style;
    if (!header.columns.empty() && header.columns.back().last >= col.first)
        return; // overlapping or unordered: the first description wins, as the model wants them disjoint
    header.columns.push_back(col);
}

void XlsSheetReader::collectMerges(const Record& r, model::SheetHeader& header)
{
    ByteCursor c(r.bytes());
    std::size_t count = c.u16();
    for (std::size_t i = 0; i < count && c.remaining() >= 8 && header.merges.size() < kMaxMergesPerSheet; ++i)
    {
        model::MergedRange m;
        m.firstRow = c.u16();
        m.lastRow = c.u16();
        m.firstCol = c.u16();
        m.lastCol = c.u16();
        if (m.firstRow > m.lastRow || m.firstCol > m.lastCol || m.lastCol >= model::kMaxColumns)
            continue;
        header.merges.push_back(m);
    }
}

void XlsSheetReader::finishColumns(model::SheetHeader& header) const
{
    if (m_standardWidth > 0)
        header.defaultColumnWidth = columnWidthPoints(m_standardWidth, m_digitPixels);
}

void XlsSheetReader::rowRecord(const Record& r)
{
    ByteCursor c(r.bytes());
    model::RowInfo row;
    row.row = c.u16();
    c.u16();
    c.u16();
    std::uint16_t height = c.u16();
    c.u32();
    std::uint16_t flags = c.u16();
    std::uint16_t ixfe = c.u16();
    if (!c.ok() || static_cast<std::int64_t>(row.row) <= m_emittedRow)
        return;
    row.customHeight = flags & 0x0040;
    // Rows that only follow the default height carry none of their own, as in Excel's own output.
    if (row.customHeight || (height & 0x7FFF) != m_defaultRowTwips)
        row.height = (height & 0x7FFF) / 20.0;
    row.hidden = flags & 0x0020;
    if (flags & 0x0080)
        row.style = styleOf(ixfe & 0x0FFF);
    m_rows[row.row] = row;
}

void XlsSheetReader::emitRowsUpTo(model::SheetSink& sink, std::int64_t lastRow)
{
    // Rows before `lastRow` are written when they carry formatting; `lastRow` itself always opens.
    while (!m_rows.empty() && static_cast<std::int64_t>(m_rows.begin()->first) < lastRow)
    {
        const model::RowInfo& info = m_rows.begin()->second;
        if (static_cast<std::int64_t>(info.row) > m_rowOpen && (info.customHeight || info.hidden || info.style >= 0))
        {
            sink.row(info);
            m_rowOpen = info.row;
            m_emittedRow = info.row;
            m_emittedCol = -1;
        }
        m_rows.erase(m_rows.begin());
    }
    if (lastRow == std::numeric_limits<std::int64_t>::max() || lastRow <= m_rowOpen)
        return;
    model::RowInfo info;
    info.row = static_cast<std::uint32_t>(lastRow);
    if (auto it = m_rows.find(info.row); it != m_rows.end())
    {
        info = it->second;
        m_rows.erase(it);
    }
    sink.row(info);
    m_rowOpen = lastRow;
    m_emittedRow = lastRow;
    m_emittedCol = -1;
}

} // namespace velquin::engine::xls
