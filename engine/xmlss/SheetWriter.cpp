// One worksheet of SpreadsheetML 2003, written while the reader streams it.
#include "engine/xmlss/SheetWriter.h"

#include "engine/Deadline.h"
#include "engine/xmlss/DateTimeText.h"
#include "engine/xmlss/XmlssWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <unordered_set>

namespace velquin::engine::xmlss {

namespace {

// The counts are patched in place once the sheet is complete; seven digits hold any sheet size.
constexpr std::string_view kColumnCountAttribute = "ss:ExpandedColumnCount=\"";
constexpr std::string_view kRowCountAttribute = " ss:ExpandedRowCount=\"";
constexpr std::size_t kCountWidth = 8; // digits, closing quote and padding spaces
// The ss:StyleID of a merged area's anchor is padded to this width, so that a format made for the area's borders
// once its last row is read can take its place.
constexpr std::size_t kMergedStyleWidth = 22;
// Links over large ranges are written on at most this many cells in all, to keep memory bounded.
constexpr std::size_t kMaxLinkedCells = 100000;

constexpr std::uint32_t clampRow(std::uint32_t row)
{
    return std::min(row, model::kMaxRows - 1);
}

constexpr std::uint32_t clampColumn(std::uint32_t col)
{
    return std::min(col, model::kMaxColumns - 1);
}

} // namespace

SheetWriter::SheetWriter(XmlOutput& out, const model::WorkbookInfo& info, const StyleTable& styles)
    : m_out(out), m_info(info), m_styles(styles), m_usedStyles(info.cellStyles.size(), 0)
{}

bool SheetWriter::shouldStop() const
{
    return m_out.failed() || !checkDeadline();
}

Status SheetWriter::error() const
{
    if (m_out.failed())
        return m_out.status();
    return checkDeadline();
}

void SheetWriter::beginSheet(const model::SheetHeader& header)
{
    // The reader's header may not outlive this call; merges, links and comments are needed until endSheet.
    m_headerCopy = header;
    m_headerCopy.index = m_sheetIndex;
    m_header = &m_headerCopy;
    m_columnCount = 0;
    m_rowCount = 0;
    m_rowOpen = false;
    m_havePendingRow = false;
    m_anyRowWritten = false;
    m_anyCell = false;
    collectExtras();
    m_namedCells.prepare(m_info, m_sheetIndex);
    writeWorksheetStart();
    writeNames(m_out, m_info, header.index);
    writeTableStart();
    writeColumns();
}

void SheetWriter::collectExtras()
{
    const model::SheetHeader& h = *m_header;
    m_extras.clear();
    m_nextExtra = 0;
    std::vector<Extra> found;
    for (std::size_t i = 0; i < h.merges.size(); ++i)
    {
        const model::MergedRange& m = h.merges[i];
        if (m.firstRow < model::kMaxRows && m.firstCol < model::kMaxColumns)
            found.push_back({key(m.firstRow, m.firstCol), static_cast<int>(i), -1, -1});
    }
    std::size_t linked = 0;
    for (std::size_t i = 0; i < h.hyperlinks.size(); ++i)
    {
        const model::Hyperlink& l = h.hyperlinks[i];
        if (l.firstRow >= model::kMaxRows || l.firstCol >= model::kMaxColumns)
            continue;
        const std::uint32_t lastRow = std::max(l.firstRow, clampRow(l.lastRow));
        const std::uint32_t lastCol = std::max(l.firstCol, clampColumn(l.lastCol));
        for (std::uint32_t r = l.firstRow; r <= lastRow && linked < kMaxLinkedCells; ++r)
        {
            for (std::uint32_t c = l.firstCol; c <= lastCol && linked < kMaxLinkedCells; ++c, ++linked)
                found.push_back({key(r, c), -1, static_cast<int>(i), -1});
        }
    }
    for (std::size_t i = 0; i < h.comments.size(); ++i)
    {
        const model::Comment& c = h.comments[i];
        if (c.row < model::kMaxRows && c.col < model::kMaxColumns)
            found.push_back({key(c.row, c.col), -1, -1, static_cast<int>(i)});
    }
    std::stable_sort(found.begin(), found.end(), [](const Extra& a, const Extra& b) { return a.key < b.key; });
    for (const Extra& e : found)
    {
        if (m_extras.empty() || m_extras.back().key != e.key)
        {
            m_extras.push_back(e);
            continue;
        }
        Extra& same = m_extras.back();
        same.merge = same.merge >= 0 ? same.merge : e.merge;
        same.link = same.link >= 0 ? same.link : e.link;
        same.comment = same.comment >= 0 ? same.comment : e.comment;
    }

    m_mergeOrder.resize(h.merges.size());
    for (std::size_t i = 0; i < m_mergeOrder.size(); ++i)
        m_mergeOrder[i] = i;
    std::sort(m_mergeOrder.begin(), m_mergeOrder.end(),
              [&h](std::size_t a, std::size_t b) { return h.merges[a].firstRow < h.merges[b].firstRow; });
    m_nextMerge = 0;
    m_activeMerges.clear();
    m_mergeRow = 0;
    m_mergeAnchors.assign(h.merges.size(), {});
    m_mergesPrimed = false;
    advanceMergesTo(0);
}

void SheetWriter::advanceMergesTo(std::uint32_t row)
{
    if (m_mergesPrimed && row <= m_mergeRow)
        return;
    m_mergesPrimed = true;
    const auto& merges = m_header->merges;
    bool changed = false;
    const auto before = m_activeMerges.size();
    std::erase_if(m_activeMerges, [&](std::size_t i) { return merges[i].lastRow < row; });
    changed = before != m_activeMerges.size();
    while (m_nextMerge < m_mergeOrder.size() && merges[m_mergeOrder[m_nextMerge]].firstRow <= row)
    {
        const std::size_t i = m_mergeOrder[m_nextMerge++];
        if (merges[i].lastRow >= row && merges[i].lastCol >= merges[i].firstCol)
        {
            m_activeMerges.push_back(i);
            changed = true;
        }
    }
    if (changed)
        std::sort(m_activeMerges.begin(), m_activeMerges.end(),
                  [&merges](std::size_t a, std::size_t b) { return merges[a].firstCol < merges[b].firstCol; });
    m_mergeRow = row;
}

int SheetWriter::coveringMerge(std::uint32_t row, std::uint32_t col) const
{
    const auto& merges = m_header->merges;
    auto it = std::upper_bound(m_activeMerges.begin(), m_activeMerges.end(), col,
                               [&merges](std::uint32_t c, std::size_t i) { return c < merges[i].firstCol; });
    if (it == m_activeMerges.begin())
        return -1;
    const std::size_t index = *--it;
    const model::MergedRange& m = merges[index];
    if (col > m.lastCol || row < m.firstRow || row > m.lastRow || (row == m.firstRow && col == m.firstCol))
        return -1;
    return static_cast<int>(index);
}

// Excel draws a merged area's right edge with the top-right cell's right border and its bottom edge with the
// bottom-left cell's bottom border, and writes them on the anchor's format.
void SheetWriter::noteMergeEdge(int merge, const model::Cell& cell)
{
    const model::MergedRange& m = m_header->merges[static_cast<std::size_t>(merge)];
    MergeAnchor& anchor = m_mergeAnchors[static_cast<std::size_t>(merge)];
    if (cell.row == m.firstRow && cell.col == m.lastCol)
        anchor.rightStyle = cell.style;
    if (cell.row == m.lastRow && cell.col == m.firstCol)
        anchor.bottomStyle = cell.style;
}

void SheetWriter::reserveMergedStyle(int merge, int style, std::uint64_t offset)
{
    const std::uint64_t written = m_out.position() - offset;
    if (written > kMergedStyleWidth)
        return;
    for (std::uint64_t i = written; i < kMergedStyleWidth; ++i)
        m_out.raw(' ');
    MergeAnchor& anchor = m_mergeAnchors[static_cast<std::size_t>(merge)];
    anchor.styleOffset = offset;
    anchor.style = style;
    anchor.written = true;
}

void SheetWriter::patchMergedStyles()
{
    for (const MergeAnchor& anchor : m_mergeAnchors)
    {
        if (!anchor.written || (anchor.rightStyle < 0 && anchor.bottomStyle < 0))
            continue;
        const int id = mergedStyleFor(anchor.style, anchor.rightStyle, anchor.bottomStyle);
        if (id < 0)
            continue;
        std::string text = " ss:StyleID=\"m" + std::to_string(id) + '"';
        if (text.size() > kMergedStyleWidth)
            continue;
        text.append(kMergedStyleWidth - text.size(), ' ');
        m_out.patch(anchor.styleOffset, text);
    }
}

int SheetWriter::mergedStyleFor(int style, int rightStyle, int bottomStyle)
{
    const auto key = std::make_tuple(style, rightStyle, bottomStyle);
    if (auto it = m_mergedStyleIds.find(key); it != m_mergedStyleIds.end())
        return it->second;
    const auto formatOf = [this](int index) -> const model::CellStyle& {
        return index >= 0 && static_cast<std::size_t>(index) < m_info.cellStyles.size()
                   ? m_info.cellStyles[static_cast<std::size_t>(index)]
                   : m_styles.defaultStyle();
    };
    model::CellStyle made = formatOf(style);
    // An edge without a line leaves the anchor's own border.
    const model::BorderEdge& right = formatOf(rightStyle).borders.right;
    const model::BorderEdge& bottom = formatOf(bottomStyle).borders.bottom;
    if (rightStyle >= 0 && right.lineStyle != model::LineStyle::None)
        made.borders.right = right;
    if (bottomStyle >= 0 && bottom.lineStyle != model::LineStyle::None)
        made.borders.bottom = bottom;
    int id = -1;
    if (!(made.borders == formatOf(style).borders))
    {
        id = static_cast<int>(m_mergedStyles.size());
        m_mergedStyles.push_back(std::move(made));
    }
    m_mergedStyleIds.emplace(key, id);
    return id;
}

void SheetWriter::emitExtrasBefore(std::uint64_t limit)
{
    while (m_nextExtra < m_extras.size() && m_extras[m_nextExtra].key < limit)
    {
        const Extra extra = m_extras[m_nextExtra++];
        model::Cell blank;
        blank.row = static_cast<std::uint32_t>(extra.key >> 16);
        blank.col = static_cast<std::uint32_t>(extra.key & 0xFFFF);
        if (m_anyCell && extra.key <= m_lastCellKey)
            continue;
        advanceMergesTo(blank.row);
        if (coveredByMerge(blank.row, blank.col))
            continue;
        openRow(blank.row);
        writeCell(blank, &extra);
    }
}

const SheetWriter::Extra* SheetWriter::extraAt(std::uint64_t position)
{
    if (m_nextExtra < m_extras.size() && m_extras[m_nextExtra].key == position)
        return &m_extras[m_nextExtra++];
    return nullptr;
}

void SheetWriter::row(const model::RowInfo& info)
{
    if (info.row >= model::kMaxRows)
        return;
    if ((m_rowOpen && info.row <= m_openRow) || (m_havePendingRow && info.row <= m_pendingRow.row) ||
        (m_anyRowWritten && info.row <= m_lastRowWritten))
        return;
    emitExtrasBefore(key(info.row, 0));
    closeRow();
    flushPendingRow();
    m_pendingRow = info;
    m_havePendingRow = true;
}

void SheetWriter::cell(const model::Cell& cell)
{
    if (cell.row >= model::kMaxRows || cell.col >= model::kMaxColumns)
        return;
    const std::uint64_t position = key(cell.row, cell.col);
    if ((m_anyCell && position <= m_lastCellKey) || (m_anyRowWritten && cell.row < m_lastRowWritten))
        return;
    emitExtrasBefore(position);
    const Extra* extra = extraAt(position);
    advanceMergesTo(cell.row);
    if (const int merge = coveringMerge(cell.row, cell.col); merge >= 0)
    {
        noteMergeEdge(merge, cell);
        return;
    }
    openRow(cell.row);
    writeCell(cell, extra);
}

void SheetWriter::endSheet(const model::SheetOptions& options)
{
    emitExtrasBefore(std::numeric_limits<std::uint64_t>::max());
    closeRow();
    flushPendingRow();
    writeTableEnd();
    patchExpandedCounts();
    patchMergedStyles();
    writeWorksheetOptions(options);
    writeAutoFilter(options);
    for (const model::DataValidation& validation : options.validations)
        writeDataValidation(validation);
    writeConditionalFormats(options.conditionalFormats);
    m_out.raw(" </Worksheet>\n");
    m_header = nullptr;
    m_headerCopy = {};
}

void SheetWriter::writeWorksheetStart()
{
    m_out.raw(" <Worksheet");
    m_out.attribute("ss:Name", m_header->name);
    m_out.raw(">\n");
}

void SheetWriter::writeTableStart()
{
    m_out.raw("  <Table ");
    m_countsOffset = m_out.position();
    m_out.raw(kColumnCountAttribute);
    m_out.raw("1\"       ");
    m_out.raw(kRowCountAttribute);
    m_out.raw("1\"       ");
    m_out.raw(" x:FullColumns=\"1\" x:FullRows=\"1\"");
    if (m_header->defaultColumnWidth >= 0)
    {
        m_out.raw(" ss:DefaultColumnWidth=\"");
        m_out.number(m_header->defaultColumnWidth);
        m_out.raw('"');
    }
    if (m_header->defaultRowHeight >= 0)
    {
        m_out.raw(" ss:DefaultRowHeight=\"");
        m_out.number(m_header->defaultRowHeight);
        m_out.raw('"');
    }
    m_out.raw(">\n");
}

void SheetWriter::patchExpandedCounts()
{
    std::string text;
    const auto put = [&text](std::string_view name, std::uint32_t count) {
        text += name;
        const std::string digits = std::to_string(std::max<std::uint32_t>(count, 1));
        text += digits;
        text += '"';
        text.append(kCountWidth - 1 - digits.size(), ' ');
    };
    put(kColumnCountAttribute, m_columnCount);
    put(kRowCountAttribute, m_rowCount);
    m_out.patch(m_countsOffset, text);
}

void SheetWriter::writeColumns()
{
    m_styledColumns.clear();
    std::uint32_t nextColumn = 0;
    for (const model::ColumnInfo& column : m_header->columns)
    {
        if (column.first < nextColumn || column.first > column.last || column.first >= model::kMaxColumns)
            continue;
        const bool plain = column.width < 0 && !column.hidden && !m_styles.isWritten(column.style);
        if (plain)
            continue;
        writeColumn(column, nextColumn);
        if (m_styles.isWritten(column.style))
            m_styledColumns.push_back({column.first, clampColumn(column.last)});
    }
}

void SheetWriter::writeColumn(const model::ColumnInfo& column, std::uint32_t& nextColumn)
{
    const std::uint32_t last = clampColumn(column.last);
    m_out.raw("   <Column");
    if (column.first != nextColumn)
        m_out.attribute("ss:Index", std::int64_t{column.first} + 1);
    styleAttribute(column.style);
    if (column.hidden)
        m_out.raw(" ss:Hidden=\"1\"");
    if (column.width >= 0)
    {
        if (!column.autoFit)
            m_out.raw(" ss:AutoFitWidth=\"0\"");
        m_out.raw(" ss:Width=\"");
        m_out.number(column.width);
        m_out.raw('"');
    }
    if (last > column.first)
        m_out.attribute("ss:Span", std::int64_t{last - column.first});
    m_out.raw("/>\n");
    nextColumn = last + 1;
    // Excel counts columns the sheet formats only as far as it uses them; widths alone do not extend the table.
    if (column.hidden || m_styles.isWritten(column.style))
        m_columnCount = std::max(m_columnCount, std::min(last + 1, column.first + 1));
}

bool SheetWriter::columnStyled(std::uint32_t col) const
{
    const auto after = std::upper_bound(m_styledColumns.begin(), m_styledColumns.end(), col,
                                        [](std::uint32_t c, const ColumnSpan& span) { return c < span.first; });
    return after != m_styledColumns.begin() && col <= std::prev(after)->last;
}

void SheetWriter::styleAttribute(int style)
{
    if (!m_styles.isWritten(style))
        return;
    const int id = m_styles.sameAs(style);
    m_usedStyles[static_cast<std::size_t>(id)] = 1;
    m_out.raw(" ss:StyleID=\"s");
    m_out.integer(id);
    m_out.raw('"');
}

void SheetWriter::openRow(std::uint32_t row)
{
    if (m_rowOpen && m_openRow == row)
        return;
    closeRow();
    if (m_havePendingRow && m_pendingRow.row < row)
        flushPendingRow();
    if (m_havePendingRow && m_pendingRow.row == row)
    {
        writeRowStart(m_pendingRow, false);
        m_havePendingRow = false;
    }
    else
    {
        model::RowInfo plain;
        plain.row = row;
        writeRowStart(plain, false);
    }
    m_rowOpen = true;
    m_openRow = row;
    m_nextColumn = 0;
}

void SheetWriter::writeRowStart(const model::RowInfo& info, bool empty)
{
    m_out.raw("   <Row");
    const bool indexed = m_anyRowWritten ? info.row != m_lastRowWritten + 1 : info.row != 0;
    if (indexed)
        m_out.attribute("ss:Index", std::int64_t{info.row} + 1);
    if (info.customHeight)
        m_out.raw(" ss:AutoFitHeight=\"0\"");
    // Excel gives the height only where it differs from the sheet's default row height.
    const double defaultHeight = m_header->defaultRowHeight;
    if (info.height >= 0 && (defaultHeight < 0 || std::fabs(info.height - defaultHeight) > 1e-6))
    {
        m_out.raw(" ss:Height=\"");
        m_out.number(info.height);
        m_out.raw('"');
    }
    if (info.hidden)
        m_out.raw(" ss:Hidden=\"1\"");
    styleAttribute(info.style);
    m_openRowStyled = m_styles.isWritten(info.style);
    m_out.raw(empty ? "/>\n" : ">\n");
    m_anyRowWritten = true;
    m_lastRowWritten = info.row;
    m_rowCount = std::max(m_rowCount, info.row + 1);
}

void SheetWriter::closeRow()
{
    if (!m_rowOpen)
        return;
    m_out.raw("   </Row>\n");
    m_rowOpen = false;
}

void SheetWriter::flushPendingRow()
{
    if (!m_havePendingRow)
        return;
    m_havePendingRow = false;
    // A row without cells is written only for what it says about itself.
    const model::RowInfo& r = m_pendingRow;
    const double defaultHeight = m_header->defaultRowHeight;
    const bool ownHeight = r.height >= 0 && (defaultHeight < 0 || std::fabs(r.height - defaultHeight) > 1e-6);
    if (!r.customHeight && !ownHeight && !r.hidden && !m_styles.isWritten(r.style))
        return;
    writeRowStart(m_pendingRow, true);
    m_havePendingRow = false;
}

void SheetWriter::writeCell(const model::Cell& cell, const Extra* extra)
{
    const model::SheetHeader& h = *m_header;
    const model::MergedRange* merge =
        extra && extra->merge >= 0 ? &h.merges[static_cast<std::size_t>(extra->merge)] : nullptr;
    const model::Hyperlink* link =
        extra && extra->link >= 0 ? &h.hyperlinks[static_cast<std::size_t>(extra->link)] : nullptr;
    const model::Comment* comment =
        extra && extra->comment >= 0 ? &h.comments[static_cast<std::size_t>(extra->comment)] : nullptr;

    m_out.raw("    <Cell");
    if (cell.col != m_nextColumn)
        m_out.attribute("ss:Index", std::int64_t{cell.col} + 1);
    std::uint32_t across = 0, down = 0;
    if (merge)
    {
        across = clampColumn(std::max(merge->lastCol, merge->firstCol)) - merge->firstCol;
        down = clampRow(std::max(merge->lastRow, merge->firstRow)) - merge->firstRow;
        if (across > 0)
            m_out.attribute("ss:MergeAcross", std::int64_t{across});
        if (down > 0)
            m_out.attribute("ss:MergeDown", std::int64_t{down});
    }
    const std::uint64_t styleOffset = m_out.position();
    if (m_styles.isWritten(cell.style))
        styleAttribute(cell.style);
    else if (m_openRowStyled || columnStyled(cell.col))
        m_out.raw(" ss:StyleID=\"Default\""); // or it would take the row's or column's format
    if (merge && (across > 0 || down > 0))
        reserveMergedStyle(extra->merge, cell.style, styleOffset);
    if (!cell.arrayRange.empty() && !cell.formula.empty())
        m_out.attribute("ss:ArrayRange", cell.arrayRange);
    if (!cell.formula.empty())
        m_out.attribute("ss:Formula", cell.formula);
    if (link)
    {
        m_out.attribute("ss:HRef", link->href);
        if (!link->screenTip.empty())
            m_out.attribute("x:HRefScreenTip", link->screenTip);
    }
    const bool hasData = cell.type != model::CellType::Blank;
    if (!hasData && !comment && !m_namedCells.covers(cell.row, cell.col))
        m_out.raw("/>\n");
    else
    {
        m_out.raw('>');
        if (hasData)
            writeData(cell);
        if (comment)
            writeComment(*comment);
        m_namedCells.forEach(cell.row, cell.col, [this](std::string_view name) {
            m_out.raw("<NamedCell");
            m_out.attribute("ss:Name", name);
            m_out.raw("/>");
        });
        m_out.raw("</Cell>\n");
    }
    m_nextColumn = cell.col + across + 1;
    m_columnCount = std::max(m_columnCount, cell.col + across + 1);
    m_rowCount = std::max(m_rowCount, cell.row + down + 1);
    m_anyCell = true;
    m_lastCellKey = key(cell.row, cell.col);
}

void SheetWriter::writeData(const model::Cell& cell)
{
    switch (cell.type)
    {
    case model::CellType::Blank:
        return;
    case model::CellType::Number: {
        if (!std::isfinite(cell.number))
        {
            m_out.raw("<Data ss:Type=\"Error\">#NUM!</Data>");
            return;
        }
        if (m_styles.isDate(cell.style))
        {
            char text[32];
            const std::size_t length = formatDateTime(cell.number, m_info.date1904, text);
            if (length > 0)
            {
                m_out.raw("<Data ss:Type=\"DateTime\">");
                m_out.raw(std::string_view(text, length));
                m_out.raw("</Data>");
                return;
            }
        }
        m_out.raw("<Data ss:Type=\"Number\">");
        m_out.number(cell.number);
        m_out.raw("</Data>");
        return;
    }
    case model::CellType::String:
        if (!cell.runs.empty())
        {
            m_out.raw("<ss:Data ss:Type=\"String\" xmlns=\"http://www.w3.org/TR/REC-html40\">");
            writeRichText(cell.runs);
            m_out.raw("</ss:Data>");
            return;
        }
        m_out.raw("<Data ss:Type=\"String\">");
        m_out.text(cell.text);
        m_out.raw("</Data>");
        return;
    case model::CellType::Boolean:
        m_out.raw(cell.boolean ? "<Data ss:Type=\"Boolean\">1</Data>" : "<Data ss:Type=\"Boolean\">0</Data>");
        return;
    case model::CellType::Error:
        m_out.raw("<Data ss:Type=\"Error\">");
        m_out.text(cell.text);
        m_out.raw("</Data>");
        return;
    }
}

void SheetWriter::writeRichText(std::span<const model::TextRun> runs)
{
    for (const model::TextRun& run : runs)
        writeRun(run);
}

void SheetWriter::writeRun(const model::TextRun& run)
{
    if (!run.hasFont)
    {
        m_out.text(run.text);
        return;
    }
    const model::TextRun::Font& f = run.font;
    const auto underline = static_cast<model::Underline>(f.underline);
    const auto vertical = static_cast<model::VerticalAlign>(f.verticalAlign);
    if (f.bold)
        m_out.raw("<B>");
    if (f.italic)
        m_out.raw("<I>");
    if (underline != model::Underline::None)
        m_out.raw("<U>");
    if (f.strike)
        m_out.raw("<S>");
    if (vertical == model::VerticalAlign::Superscript)
        m_out.raw("<Sup>");
    else if (vertical == model::VerticalAlign::Subscript)
        m_out.raw("<Sub>");
    const bool font = !f.name.empty() || f.size > 0 || f.hasColor;
    if (font)
    {
        m_out.raw("<Font");
        if (!f.name.empty())
            m_out.attribute("html:Face", f.name);
        if (f.size > 0)
        {
            m_out.raw(" html:Size=\"");
            m_out.number(f.size);
            m_out.raw('"');
        }
        if (f.hasColor)
        {
            m_out.raw(" html:Color=\"");
            writeColor(m_out, model::Rgb{f.r, f.g, f.b});
            m_out.raw('"');
        }
        m_out.raw('>');
    }
    m_out.text(run.text);
    if (font)
        m_out.raw("</Font>");
    if (vertical == model::VerticalAlign::Superscript)
        m_out.raw("</Sup>");
    else if (vertical == model::VerticalAlign::Subscript)
        m_out.raw("</Sub>");
    if (f.strike)
        m_out.raw("</S>");
    if (underline != model::Underline::None)
        m_out.raw("</U>");
    if (f.italic)
        m_out.raw("</I>");
    if (f.bold)
        m_out.raw("</B>");
}

void SheetWriter::writeComment(const model::Comment& comment)
{
    m_out.raw("<Comment");
    m_out.attribute("ss:Author", comment.author); // Excel writes the attribute for an empty author too
    if (comment.shown)
        m_out.raw(" ss:ShowAlways=\"1\"");
    m_out.raw("><ss:Data xmlns=\"http://www.w3.org/TR/REC-html40\">");
    writeRichText(comment.text);
    m_out.raw("</ss:Data></Comment>");
}

void SheetWriter::writeTableEnd()
{
    m_out.raw("  </Table>\n");
}

void SheetWriter::writeTextElement(const char* indent, const char* element, std::string_view value)
{
    m_out.raw(indent);
    m_out.textElement(element, value);
    m_out.raw('\n');
}

void SheetWriter::writeNumberElement(const char* indent, const char* element, std::int64_t value)
{
    m_out.raw(indent);
    m_out.integerElement(element, value);
    m_out.raw('\n');
}

void SheetWriter::writeWorksheetOptions(const model::SheetOptions& o)
{
    m_out.raw("  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
    if (o.pageBreakPreview)
        m_out.raw("   <ShowPageBreakZoom/>\n");
    if (o.zoom != 100 && o.zoom > 0)
        writeNumberElement("   ", "Zoom", o.zoom);
    if (o.selected)
        m_out.raw("   <Selected/>\n");
    const std::size_t index = static_cast<std::size_t>(m_header ? m_header->index : 0);
    if (index < m_info.sheets.size())
    {
        if (m_info.sheets[index].visibility == model::Visibility::Hidden)
            m_out.raw("   <Visible>SheetHidden</Visible>\n");
        else if (m_info.sheets[index].visibility == model::Visibility::VeryHidden)
            m_out.raw("   <Visible>SheetVeryHidden</Visible>\n");
    }
    if (o.rightToLeft)
        m_out.raw("   <DisplayRightToLeft/>\n");
    if (!o.showGridlines)
        m_out.raw("   <DoNotDisplayGridlines/>\n");
    if (!o.showRowColHeaders)
        m_out.raw("   <DoNotDisplayHeadings/>\n");
    if (!o.showZeros)
        m_out.raw("   <DoNotDisplayZeros/>\n");
    writePanes(o);
    if (o.protectContents)
        m_out.raw("   <ProtectContents>True</ProtectContents>\n");
    m_out.raw(o.protectObjects ? "   <ProtectObjects>True</ProtectObjects>\n"
                               : "   <ProtectObjects>False</ProtectObjects>\n");
    m_out.raw(o.protectScenarios ? "   <ProtectScenarios>True</ProtectScenarios>\n"
                                 : "   <ProtectScenarios>False</ProtectScenarios>\n");
    m_out.raw("  </WorksheetOptions>\n");
}

void SheetWriter::writePanes(const model::SheetOptions& o)
{
    if (o.paneKind == model::PaneKind::None)
    {
        if (o.topRowVisible > 0)
            writeNumberElement("   ", "TopRowVisible", o.topRowVisible);
        if (o.leftColVisible > 0)
            writeNumberElement("   ", "LeftColumnVisible", o.leftColVisible);
    }
    else
    {
        if (o.paneKind == model::PaneKind::Frozen)
            m_out.raw("   <FreezePanes/>\n   <FrozenNoSplit/>\n");
        if (o.splitRows > 0)
        {
            writeNumberElement("   ", "SplitHorizontal", o.splitRows);
            writeNumberElement("   ", "TopRowBottomPane", o.topRowBottomPane);
        }
        if (o.splitCols > 0)
        {
            writeNumberElement("   ", "SplitVertical", o.splitCols);
            writeNumberElement("   ", "LeftColumnRightPane", o.leftColRightPane);
        }
        writeNumberElement("   ", "ActivePane", o.activePane);
    }
    if (o.selections.empty())
        return;
    m_out.raw("   <Panes>\n");
    for (const model::Selection& selection : o.selections)
        writeSelection(selection);
    m_out.raw("   </Panes>\n");
}

void SheetWriter::writeSelection(const model::Selection& s)
{
    m_out.raw("    <Pane>\n");
    writeNumberElement("     ", "Number", s.pane);
    if (s.activeRow > 0)
        writeNumberElement("     ", "ActiveRow", s.activeRow);
    if (s.activeCol > 0)
        writeNumberElement("     ", "ActiveCol", s.activeCol);
    if (!s.rangeR1C1.empty())
        writeTextElement("     ", "RangeSelection", s.rangeR1C1);
    m_out.raw("    </Pane>\n");
}

void SheetWriter::writeAutoFilter(const model::SheetOptions& o)
{
    if (!o.autoFilterR1C1)
        return;
    m_out.raw("  <AutoFilter");
    m_out.attribute("x:Range", *o.autoFilterR1C1);
    m_out.raw(" xmlns=\"urn:schemas-microsoft-com:office:excel\">\n  </AutoFilter>\n");
}

void SheetWriter::writeDataValidation(const model::DataValidation& v)
{
    m_out.raw("  <DataValidation xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
    writeTextElement("   ", "Range", v.rangeR1C1);
    if (!v.type.empty())
        writeTextElement("   ", "Type", v.type);
    // A list drawn from cells (a reference or a name rather than a literal "a,b,c") says so.
    if (v.type == "List" && !v.value.empty() && v.value.front() != '"')
        m_out.raw("   <CellRangeList/>\n");
    if (v.suppressDropDown)
        m_out.raw("   <ComboHide/>\n");
    if (!v.allowBlank)
        m_out.raw("   <UseBlank/>\n");
    if (!v.qualifier.empty())
        writeTextElement("   ", "Qualifier", v.qualifier);
    if (!v.value.empty())
        writeTextElement("   ", "Value", v.value);
    if (!v.min.empty())
        writeTextElement("   ", "Min", v.min);
    if (!v.max.empty())
        writeTextElement("   ", "Max", v.max);
    if (!v.showInput)
        m_out.raw("   <InputHide/>\n");
    if (!v.inputTitle.empty())
        writeTextElement("   ", "InputTitle", v.inputTitle);
    if (!v.inputMessage.empty())
        writeTextElement("   ", "InputMessage", v.inputMessage);
    if (!v.showError)
        m_out.raw("   <ErrorHide/>\n");
    if (!v.errorStyle.empty() && v.errorStyle != "Stop")
        writeTextElement("   ", "ErrorStyle", v.errorStyle);
    if (!v.errorTitle.empty())
        writeTextElement("   ", "ErrorTitle", v.errorTitle);
    if (!v.errorMessage.empty())
        writeTextElement("   ", "ErrorMessage", v.errorMessage);
    m_out.raw("  </DataValidation>\n");
}

void SheetWriter::writeConditionalFormats(const std::vector<model::ConditionalFormat>& formats)
{
    // A range is written without conditions only when none of its rules can be written: rules of one range may
    // come in several groups (one per rule in .xlsx, the newer ones apart in .xls).
    std::unordered_set<std::string_view> withRules;
    for (const model::ConditionalFormat& format : formats)
        if (!format.rules.empty())
            withRules.insert(format.rangeR1C1);
    std::unordered_set<std::string_view> written;
    for (const model::ConditionalFormat& format : formats)
    {
        if (format.rules.empty() && (withRules.contains(format.rangeR1C1) || !written.insert(format.rangeR1C1).second))
            continue;
        writeConditionalFormatting(format);
    }
}

void SheetWriter::writeConditionalFormatting(const model::ConditionalFormat& f)
{
    m_out.raw("  <ConditionalFormatting xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
    writeTextElement("   ", "Range", f.rangeR1C1);
    for (const model::ConditionalRule& rule : f.rules)
    {
        m_out.raw("   <Condition>\n");
        if (!rule.qualifier.empty())
            writeTextElement("    ", "Qualifier", rule.qualifier);
        if (!rule.value1.empty())
            writeTextElement("    ", "Value1", rule.value1);
        if (!rule.value2.empty())
            writeTextElement("    ", "Value2", rule.value2);
        m_out.raw("    <Format");
        m_out.attribute("Style", rule.css);
        m_out.raw("/>\n   </Condition>\n");
    }
    m_out.raw("  </ConditionalFormatting>\n");
}

} // namespace velquin::engine::xmlss
