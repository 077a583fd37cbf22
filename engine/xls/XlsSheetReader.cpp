// Worksheet substreams: the collecting pass and the cell-streaming pass.
#include "engine/xls/XlsSheetReader.h"

#include "engine/Deadline.h"
#include "engine/Text.h"
#include "engine/xls/HlinkRecord.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/formula/ConstantText.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>

namespace velquin::engine::xls {

namespace {

constexpr std::uint16_t kStandardWidth = 0x0099;
constexpr std::uint16_t kScenProtect = 0x00DD;
constexpr std::uint16_t kMsoDrawing = 0x00EC;
constexpr std::uint16_t kCfEx = 0x087B;
/// Nested substreams (charts inside a worksheet) deeper than this are not believed.
constexpr int kMaxDepth = 16;
/// Token bytes of shared, array and table formulas kept for one sheet.
constexpr std::size_t kMaxTokenBytes = 64u * 1024 * 1024;
/// Cells buffered before they are sorted and handed on; a block of 32 rows normally flushes far earlier.
constexpr std::size_t kMaxBufferedCells = 1u << 16;
constexpr std::size_t kMaxCommentsPerSheet = 1u << 16;
constexpr std::size_t kMaxLinksPerSheet = 1u << 16;
constexpr std::size_t kMaxMergesPerSheet = 1u << 20;
constexpr std::size_t kMaxValidationsPerSheet = 65534; // the most a sheet's DVAL record can announce
constexpr std::size_t kMaxConditionalFormatsPerSheet = 65534;
constexpr std::uint16_t kMaxRulesPerConditionalFormat = 3;
/// Text of one sheet's conditional formats (ranges and formulas): each CONDFMT may list thousands of ranges.
constexpr std::size_t kMaxConditionalFormatBytes = 64u * 1024 * 1024;
/// A CF with two formulas of the longest kind, its format and the CONTINUE records that carry them.
constexpr std::size_t kMaxCfRecord = 64u * 1024;
constexpr std::size_t kStopCheckInterval = 4096;
constexpr std::size_t kMaxRangeSearch = 256;

bool isCellRecord(std::uint16_t s)
{
    switch (s)
    {
    case sid::LabelSst:
    case sid::Label:
    case sid::RString:
    case sid::Number:
    case sid::Rk:
    case sid::MulRk:
    case sid::BoolErr:
    case sid::Blank:
    case sid::MulBlank:
    case sid::Formula:
    case sid::String:
    case sid::Row:
    case sid::DbCell:
        return true;
    default:
        return false;
    }
}

/// Records the collecting pass reads in full; every other record is passed over by its header.
bool collectsRecord(std::uint16_t s)
{
    switch (s)
    {
    case sid::DefColWidth:
    case kStandardWidth:
    case sid::DefaultRowHeight:
    case sid::ColInfo:
    case sid::MergeCells:
    case sid::HLink:
    case sid::HLinkTooltip:
    case sid::Note:
    case sid::Obj:
    case sid::Txo:
    case sid::Window2:
    case sid::Pane:
    case sid::Selection:
    case sid::Scl:
    case sid::AutoFilterInfo:
    case sid::Dv:
    case sid::CondFmt:
    case sid::Cf:
    case kCfEx:
    case sid::ShrFmla:
    case sid::Array:
    case sid::Protect:
    case sid::ObjProtect:
    case kScenProtect:
    case sid::SheetExt:
    case sid::Formula:
        return true;
    default:
        return false;
    }
}

/// The address of a formula of the form HYPERLINK("address", ...): Excel gives such cells a link of their own.
std::optional<std::string> hyperlinkFormulaTarget(std::span<const std::uint8_t> rgce)
{
    constexpr std::uint16_t kHyperlinkFunction = 359;
    if (rgce.size() < 7 || rgce[0] != 0x17)
        return std::nullopt;
    std::size_t n = rgce.size();
    bool funcVar = (rgce[n - 4] & 0x9F) == 0x02 && (rgce[n - 4] & 0x60) != 0;
    auto function = static_cast<std::uint16_t>(rgce[n - 2] | ((rgce[n - 1] & 0x7F) << 8));
    if (!funcVar || function != kHyperlinkFunction)
        return std::nullopt;
    std::size_t cch = rgce[1];
    bool wide = rgce[2] & 0x01;
    std::size_t end = 3 + cch * (wide ? 2 : 1);
    if (end > n - 4)
        return std::nullopt;
    // Only a constant address: then nothing, a friendly-name string or a cell reference up to the call.
    std::size_t rest = n - 4 - end;
    bool plainSecond = rest == 0 || ((rgce[end] & 0x9F) == 0x04 && rest == 5) ||
                       (rgce[end] == 0x17 && rest >= 3 && rest == 3 + rgce[end + 1] * ((rgce[end + 2] & 1) ? 2u : 1u));
    if (!plainSecond)
        return std::nullopt;
    std::string text;
    if (wide)
    {
        std::vector<std::uint16_t> units;
        for (std::size_t i = 0; i < cch; ++i)
            units.push_back(static_cast<std::uint16_t>(rgce[3 + 2 * i] | (rgce[4 + 2 * i] << 8)));
        appendUtf16(text, units);
    }
    else
    {
        appendLatin1(text, rgce.subspan(3, cch));
    }
    if (text.empty())
        return std::nullopt;
    return text;
}

/// Width in points of a column `characters` wide (padding included), for the default font's digit width.
double columnWidthPoints(double characters, double digitPixels)
{
    return characters * digitPixels * 0.75;
}

/// Pixel width of the digits of the workbook's default font at 96 dpi, which column widths are counted in:
/// 7 for Arial 10 and Calibri 11, 8 for Calibri 12.
double digitPixels(const XlsGlobals& g)
{
    std::uint16_t fontIndex = g.styles.xfs.empty() ? 0 : g.styles.xfs[0].font;
    const FontRecord* font = fontAt(g.styles, fontIndex);
    double size = font && font->height > 0 ? font->height : 10;
    return std::clamp(std::floor(size * 2 / 3 + 0.5), 1.0, 100.0);
}

std::string stripEquals(std::string text)
{
    if (!text.empty() && text.front() == '=')
        text.erase(0, 1);
    return text;
}

std::string refListR1C1(ByteCursor& c, bool biff8)
{
    std::size_t count = c.u16();
    std::string out;
    for (std::size_t i = 0; i < count && c.ok(); ++i)
    {
        std::uint32_t r1 = c.u16(), r2 = c.u16();
        std::uint32_t c1 = biff8 ? c.u16() : c.u8();
        std::uint32_t c2 = biff8 ? c.u16() : c.u8();
        if (!c.ok())
            break;
        if (!out.empty())
            out.push_back(',');
        out += absoluteRangeR1C1(std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2));
    }
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<std::string> absoluteR1C1ToA1(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    auto number = [&](std::uint64_t& value) {
        std::size_t start = i;
        value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 8)
            value = value * 10 + static_cast<std::uint64_t>(text[i++] - '0');
        return i > start && value > 0;
    };
    for (int part = 0; part < 2; ++part)
    {
        std::uint64_t row = 0, col = 0;
        if (i >= text.size() || text[i++] != 'R' || !number(row) || i >= text.size() || text[i++] != 'C' ||
            !number(col) || col > model::kMaxColumns)
            return std::nullopt;
        std::string letters;
        for (std::uint64_t c = col; c > 0; c = (c - 1) / 26)
            letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
        out += letters + std::to_string(row);
        if (i == text.size())
            return out;
        if (part == 0 && text[i] == ':')
        {
            out.push_back(':');
            ++i;
            continue;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

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

XlsSheetReader::XlsSheetReader(const XlsGlobals& globals, RecordStream& stream, CodepageDecoder& decoder,
                               std::size_t cellStyleCount)
    : m_g(globals), m_stream(stream), m_decoder(decoder), m_strings(globals.biffVersion == 8, decoder),
      m_styleCount(cellStyleCount), m_biff8(globals.biffVersion == 8), m_ctx(makeFormulaContext(globals)),
      m_digitPixels(digitPixels(globals))
{}

Status XlsSheetReader::read(int index, model::SheetSink& sink)
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_g.sheets.size())
        return {EngineErrc::DamagedFile, "There is no sheet " + std::to_string(index) + "."};
    m_sheetIndex = index;
    m_start = m_g.sheets[static_cast<std::size_t>(index)].offset;
    model::SheetHeader header;
    model::SheetOptions options;
    header.index = index;
    header.name = m_g.sheets[static_cast<std::size_t>(index)].name;
    if (Status st = collect(header, options); !st)
        return st;
    finishHeader(header, options);
    sink.beginSheet(header);
    if (Status st = stream(sink); !st)
        return st;
    if (m_stopped)
        return {EngineErrc::Timeout, "The conversion was stopped in sheet \"" + header.name + "\"."};
    sink.endSheet(options);
    return {};
}

// ---- Both passes ------------------------------------------------------------------------------------------

template <typename Wanted, typename Handle>
Status XlsSheetReader::walkSubstream(Record& r, Wanted wanted, Handle handle)
{
    // Charts and other objects embed substreams of their own (BOF ... EOF) whose records are not the sheet's.
    int depth = 0;
    for (std::uint32_t count = 1;; ++count)
    {
        if (count % 4096 == 1)
            if (Status st = checkDeadline(); !st)
                return st;
        if (m_stream.atEnd())
            return damagedRecord(r.sid, r.offset, "is followed by the end of the stream before the sheet's EOF");
        const std::uint16_t next = m_stream.peekSid();
        const bool nested = next == sid::Bof || next == sid::Bof2 || next == sid::Bof3 || next == sid::Bof4;
        if (!(next == sid::Eof || nested || (depth == 0 && wanted(next))))
        {
            std::uint16_t skipped = 0;
            std::uint64_t offset = 0;
            if (Status st = m_stream.skipNext(skipped, offset); !st)
                return st;
            continue;
        }
        if (Status st = m_stream.next(r); !st)
            return st;
        if (nested)
        {
            if (++depth > kMaxDepth)
                return damagedRecord(r.sid, r.offset, "opens too many nested substreams");
            continue;
        }
        if (r.sid == sid::Eof)
        {
            if (depth == 0)
                return {};
            --depth;
            continue;
        }
        if (Status st = handle(r); !st)
            return st;
        if (m_stopped)
            return {};
    }
}

// ---- First pass --------------------------------------------------------------------------------------------

Status XlsSheetReader::collect(model::SheetHeader& header, model::SheetOptions& options)
{
    m_stream.seek(m_start);
    Record r;
    if (Status st = m_stream.next(r); !st)
        return st;
    BofInfo bof;
    if (Status st = parseBof(r, bof); !st)
        return st;
    return walkSubstream(r, collectsRecord, [&](Record& record) { return collectRecord(record, header, options); });
}

Status XlsSheetReader::collectRecord(Record& r, model::SheetHeader& header, model::SheetOptions& options)
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
    case kStandardWidth: {
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
    case sid::HLink:
        if (header.hyperlinks.size() < kMaxLinksPerSheet)
            if (auto link = parseHlink(r.bytes()))
                header.hyperlinks.push_back(std::move(*link));
        break;
    case sid::HLinkTooltip:
        if (m_tooltips.size() < kMaxLinksPerSheet)
            if (auto tip = parseHlinkTooltip(r.bytes()))
                m_tooltips.push_back(std::move(*tip));
        break;
    case sid::Obj:
        collectObj(r);
        break;
    case sid::Formula:
        if (m_biff8 && r.data.size() > 22 && m_formulaLinks.size() < kMaxLinksPerSheet)
        {
            std::size_t cce = static_cast<std::size_t>(r.data[20] | (r.data[21] << 8));
            if (22 + cce <= r.data.size())
                if (auto target = hyperlinkFormulaTarget(r.bytes().subspan(22, cce)))
                {
                    model::Hyperlink link;
                    link.firstRow = link.lastRow = static_cast<std::uint32_t>(r.data[0] | (r.data[1] << 8));
                    link.firstCol = link.lastCol = static_cast<std::uint32_t>(r.data[2] | (r.data[3] << 8));
                    link.href = std::move(*target);
                    m_formulaLinks.push_back(std::move(link));
                }
        }
        break;
    case sid::Txo:
        if (Status st = m_stream.joinContinues(r, kMaxJoinedRecord); !st)
            return st;
        collectTxo(r);
        break;
    case sid::Note:
        if (m_notes.size() < kMaxCommentsPerSheet)
            collectNote(r);
        break;
    case sid::Window2:
        collectWindow2(r, options);
        break;
    case sid::Pane:
        collectPane(r, options);
        break;
    case sid::Selection:
        collectSelection(r, options);
        break;
    case sid::Scl: {
        std::uint16_t num = c.u16(), den = c.u16();
        if (c.ok() && den != 0 && num != 0)
            options.zoom = static_cast<int>(std::lround(100.0 * num / den));
        break;
    }
    case sid::AutoFilterInfo:
        m_autoFilter = true;
        break;
    case sid::Dv:
        collectDv(r, options);
        break;
    case sid::CondFmt:
        collectCondFmt(r);
        break;
    case sid::Cf:
        // A rule longer than its two formulas can be is damaged: it is left out, the sheet is still read.
        if (Status st = m_stream.joinContinues(r, kMaxCfRecord); !st)
        {
            if (st.code() != EngineErrc::LimitExceeded)
                return st;
            r.data.clear();
        }
        collectCf(r);
        break;
    case kCfEx:
        collectCfEx(r);
        break;
    case sid::ShrFmla:
    case sid::Array:
        return collectFormulaTokens(r);
    case sid::Protect:
        options.protectContents = c.u16() != 0;
        break;
    case sid::ObjProtect:
        options.protectObjects = c.u16() != 0;
        break;
    case kScenProtect:
        options.protectScenarios = c.u16() != 0;
        break;
    case sid::SheetExt: {
        c.skip(16);
        std::uint32_t icv = c.u32();
        if (c.ok() && (icv & 0x7F) >= 8 && (icv & 0x7F) < 64)
            options.tabColorIndex = icv & 0x7F;
        break;
    }
    default:
        break;
    }
    return {};
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

void XlsSheetReader::collectWindow2(const Record& r, model::SheetOptions& options)
{
    ByteCursor c(r.bytes());
    std::uint16_t flags = c.u16();
    std::uint16_t top = c.u16();
    std::uint16_t left = c.u16();
    if (!c.ok())
        return;
    options.showGridlines = flags & 0x0002;
    options.showRowColHeaders = flags & 0x0004;
    options.showZeros = flags & 0x0010;
    options.rightToLeft = flags & 0x0040;
    options.selected = flags & 0x0200;
    options.pageBreakPreview = m_biff8 && (flags & 0x0800);
    if (flags & 0x0008)
        options.paneKind = model::PaneKind::Frozen;
    options.topRowVisible = top;
    options.leftColVisible = left;
    if (m_biff8)
    {
        c.u32();
        c.u16();
        std::uint16_t zoomNormal = c.u16();
        if (c.ok() && zoomNormal != 0 && !options.pageBreakPreview)
            options.zoom = zoomNormal;
    }
}

void XlsSheetReader::collectPane(const Record& r, model::SheetOptions& options)
{
    ByteCursor c(r.bytes());
    std::uint16_t x = c.u16(), y = c.u16(), top = c.u16(), left = c.u16();
    std::uint8_t active = c.u8();
    if (!c.ok())
        return;
    if (options.paneKind != model::PaneKind::Frozen)
        options.paneKind = model::PaneKind::Split;
    options.splitCols = x;
    options.splitRows = y;
    options.topRowBottomPane = top;
    options.leftColRightPane = left;
    options.activePane = active & 3;
}

void XlsSheetReader::collectSelection(const Record& r, model::SheetOptions& options)
{
    ByteCursor c(r.bytes());
    model::Selection s;
    s.pane = c.u8() & 3;
    s.activeRow = c.u16();
    s.activeCol = c.u16();
    c.u16();
    std::size_t count = c.u16();
    std::string ranges;
    for (std::size_t i = 0; i < count && c.remaining() >= 6 && i < 1024; ++i)
    {
        std::uint32_t r1 = c.u16(), r2 = c.u16();
        std::uint32_t c1 = c.u8(), c2 = c.u8();
        if (!ranges.empty())
            ranges.push_back(',');
        ranges += absoluteRangeR1C1(std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2));
    }
    // A worksheet of BIFF5/BIFF8 has 256 columns; an active cell beyond them is damage, and only the view is lost.
    if (s.activeCol >= 256)
        return;
    if (ranges != absoluteRangeR1C1(s.activeRow, s.activeCol, s.activeRow, s.activeCol))
        s.rangeR1C1 = std::move(ranges);
    if (options.selections.size() < 4)
        options.selections.push_back(std::move(s));
}

void XlsSheetReader::collectObj(const Record& r)
{
    // The first sub-record is the common object data: its kind and the id that NOTE and TXO refer to.
    ByteCursor c(r.bytes());
    m_lastObjIsNote = false;
    if (!m_biff8)
        return;
    std::uint16_t ft = c.u16();
    c.u16();
    std::uint16_t kind = c.u16();
    std::uint16_t id = c.u16();
    if (!c.ok() || ft != 0x0015)
        return;
    m_lastObjId = id;
    m_lastObjIsNote = kind == 0x19;
}

void XlsSheetReader::collectTxo(const Record& r)
{
    if (!m_lastObjIsNote || m_texts.size() >= kMaxCommentsPerSheet)
        return;
    m_lastObjIsNote = false;
    ContinuedReader c(r);
    c.skip(10);
    std::size_t cch = c.u16();
    std::size_t cbRuns = c.u16();
    if (!c.ok() || r.continueStarts.empty())
    {
        m_texts[m_lastObjId] = {};
        return;
    }
    // The characters start in the first CONTINUE with an option byte, the formatting runs in the one after.
    c.skip(r.continueStarts[0] - c.pos());
    std::uint8_t flags = c.u8();
    std::vector<std::uint16_t> units;
    c.chars(cch, (flags & 0x01) != 0, units);
    if (!c.ok())
        return;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points;
    auto next = std::upper_bound(r.continueStarts.begin(), r.continueStarts.end(), c.pos() - 1);
    if (next != r.continueStarts.end() && *next >= c.pos())
    {
        c.skip(*next - c.pos());
        for (std::size_t i = 0; i + 8 <= cbRuns && c.remaining() >= 8; i += 8)
        {
            std::uint16_t ich = c.u16();
            std::uint16_t ifnt = c.u16();
            c.u32();
            if (ich < units.size())
                points.emplace_back(ich, ifnt);
        }
    }
    auto fonts = [this](std::uint16_t ifnt) {
        const FontRecord* f = fontAt(m_g.styles, ifnt);
        return f ? toRunFont(*f, m_g.styles.palette) : model::TextRun::Font{};
    };
    m_texts[m_lastObjId] = splitRuns(units, points, fonts);
}

void XlsSheetReader::collectNote(const Record& r)
{
    ByteCursor c(r.bytes());
    std::uint16_t row = c.u16();
    std::uint16_t col = c.u16();
    if (!m_biff8)
    {
        // BIFF5 notes hold their text; longer texts go on in NOTE records whose row is 0xFFFF.
        std::size_t cch = c.u16();
        auto bytes = c.bytes(std::min(cch, c.remaining()));
        std::string text = m_decoder.decode(bytes);
        if (row == 0xFFFF && !m_notes.empty())
        {
            m_notes.back().biff5Text += text;
            return;
        }
        NoteRecord n;
        n.row = row;
        n.col = col;
        n.biff5Text = std::move(text);
        m_notes.push_back(std::move(n));
        return;
    }
    std::uint16_t flags = c.u16();
    std::uint16_t id = c.u16();
    std::string author = m_strings.longString(c);
    if (!c.ok() && author.empty())
        return;
    NoteRecord n;
    n.row = row;
    n.col = col;
    n.shown = flags & 0x0002;
    n.objId = id;
    n.author = std::move(author);
    m_notes.push_back(std::move(n));
}

void XlsSheetReader::collectDv(const Record& r, model::SheetOptions& options)
{
    if (!m_biff8 || options.validations.size() >= kMaxValidationsPerSheet)
        return;
    ByteCursor c(r.bytes());
    std::uint32_t flags = c.u32();
    auto dvString = [&]() {
        std::string s = m_strings.longString(c);
        // An empty text is stored as one NUL character.
        return s == std::string(1, '\0') ? std::string() : s;
    };
    model::DataValidation dv;
    dv.inputTitle = dvString();
    dv.errorTitle = dvString();
    dv.inputMessage = dvString();
    dv.errorMessage = dvString();
    std::size_t cce1 = c.u16();
    c.u16();
    auto rgce1 = c.bytes(cce1);
    std::size_t cce2 = c.u16();
    c.u16();
    auto rgce2 = c.bytes(cce2);
    std::size_t pos = c.pos();
    std::size_t count = c.u16();
    if (!c.ok() || count == 0)
        return;
    std::uint32_t row = c.u16();
    c.u16();
    std::uint32_t col = c.u16();
    c.seek(pos);
    dv.rangeR1C1 = refListR1C1(c, true);
    static constexpr const char* kTypes[] = {"", "Whole", "Decimal", "List", "Date", "Time", "TextLength", "Custom"};
    static constexpr const char* kOps[] = {"Between", "NotBetween", "Equal",          "NotEqual",
                                           "Greater", "Less",       "GreaterOrEqual", "LessOrEqual"};
    unsigned type = flags & 0x0F;
    dv.type = type < 8 ? kTypes[type] : "";
    unsigned style = (flags >> 4) & 0x07;
    dv.errorStyle = style == 1 ? "Warn" : style == 2 ? "Info" : "Stop";
    dv.allowBlank = flags & 0x0100;
    dv.suppressDropDown = flags & 0x0200;
    dv.showInput = flags & 0x40000;
    dv.showError = flags & 0x80000;
    unsigned op = (flags >> 20) & 0x0F;
    if (type != 0 && type != 3 && type != 7)
        dv.qualifier = op < 8 ? kOps[op] : "";
    auto f1 = decompile(rgce1, {}, row, col, true);
    auto f2 = decompile(rgce2, {}, row, col, true);
    std::string v1 = f1 ? stripEquals(*f1) : std::string();
    std::string v2 = f2 ? stripEquals(*f2) : std::string();
    if (type == 3 && (flags & 0x80))
        std::replace(v1.begin(), v1.end(), '\0', ',');
    if (dv.qualifier == "Between" || dv.qualifier == "NotBetween")
    {
        dv.min = std::move(v1);
        dv.max = std::move(v2);
    }
    else
    {
        dv.value = std::move(v1);
    }
    options.validations.push_back(std::move(dv));
}

void XlsSheetReader::collectCondFmt(const Record& r)
{
    // CF records belong to the CONDFMT right before them; one that is not kept must not collect its rules either.
    if (!m_condFmts.empty())
        m_condFmts.back().rulesLeft = 0;
    if (!m_biff8 || m_condFmts.size() >= kMaxConditionalFormatsPerSheet)
        return;
    auto record = parseCondFmt(r.bytes());
    if (!record || m_condFmtBytes + record->rangeR1C1.size() > kMaxConditionalFormatBytes)
        return;
    m_condFmtBytes += record->rangeR1C1.size();
    m_condFmtById.emplace(record->id, m_condFmts.size());
    PendingCondFmt& pending = m_condFmts.emplace_back();
    pending.format.rangeR1C1 = std::move(record->rangeR1C1);
    pending.firstRow = record->firstRow;
    pending.firstCol = record->firstCol;
    pending.rulesLeft = std::min(record->ruleCount, kMaxRulesPerConditionalFormat);
}

void XlsSheetReader::collectCf(const Record& r)
{
    if (m_condFmts.empty() || m_condFmts.back().rulesLeft == 0)
        return;
    PendingCondFmt& pending = m_condFmts.back();
    --pending.rulesLeft;
    const std::uint16_t position = pending.rulesSeen++;
    auto cf = parseCf(r.bytes());
    if (!cf)
        return;
    static constexpr const char* kComparisons[] = {"Between", "NotBetween", "Equal",          "NotEqual",
                                                   "Greater", "Less",       "GreaterOrEqual", "LessOrEqual"};
    model::ConditionalRule rule;
    if (cf->type == 1 && cf->comparison >= 1 && cf->comparison <= 8)
        rule.qualifier = kComparisons[cf->comparison - 1];
    else if (cf->type != 2)
        return;
    // Relative references count from the first cell of the ranges, as in the written R1C1 text.
    auto value1 = decompile(cf->rgce1, {}, pending.firstRow, pending.firstCol, true);
    if (!value1)
        return;
    rule.value1 = stripEquals(std::move(*value1));
    if (cf->type == 1 && cf->comparison <= 2)
    {
        auto value2 = decompile(cf->rgce2, {}, pending.firstRow, pending.firstCol, true);
        if (!value2)
            return;
        rule.value2 = stripEquals(std::move(*value2));
    }
    const std::size_t bytes = rule.value1.size() + rule.value2.size();
    if (m_condFmtBytes + bytes > kMaxConditionalFormatBytes)
        return;
    m_condFmtBytes += bytes;
    pending.format.rules.push_back(std::move(rule));
    pending.ruleFormats.emplace_back(position, cf->format);
}

void XlsSheetReader::collectCfEx(const Record& r)
{
    auto ex = parseCfEx(r.bytes());
    if (!ex)
        return;
    auto it = m_condFmtById.find(ex->id);
    if (it == m_condFmtById.end())
        return;
    for (auto& [position, format] : m_condFmts[it->second].ruleFormats)
    {
        if (position != ex->ruleIndex)
            continue;
        if (ex->fontColor)
            format.fontColor = ex->fontColor;
        if (ex->fillColor)
            format.fillColor = ex->fillColor;
    }
}

void XlsSheetReader::finishConditionalFormats(model::SheetOptions& options)
{
    for (PendingCondFmt& pending : m_condFmts)
    {
        if (pending.format.rules.empty())
            continue;
        for (std::size_t i = 0; i < pending.format.rules.size(); ++i)
            pending.format.rules[i].css = pending.ruleFormats[i].second.css(m_g.styles.palette);
        options.conditionalFormats.push_back(std::move(pending.format));
    }
    m_condFmts.clear();
    m_condFmtById.clear();
}

void XlsSheetReader::finishHeader(model::SheetHeader& header, model::SheetOptions& options)
{
    finishConditionalFormats(options);
    if (m_standardWidth > 0)
        header.defaultColumnWidth = columnWidthPoints(m_standardWidth, m_digitPixels);
    // A HYPERLINK formula links its cell unless a link record already covers it.
    for (auto& link : m_formulaLinks)
    {
        bool covered = std::any_of(header.hyperlinks.begin(), header.hyperlinks.end(), [&](const model::Hyperlink& h) {
            return link.firstRow >= h.firstRow && link.firstRow <= h.lastRow && link.firstCol >= h.firstCol &&
                   link.firstCol <= h.lastCol;
        });
        if (!covered && header.hyperlinks.size() < kMaxLinksPerSheet)
            header.hyperlinks.push_back(std::move(link));
    }
    resolveLocalNameLinks(header);
    for (const auto& tip : m_tooltips)
        for (auto& link : header.hyperlinks)
            if (link.firstRow == tip.firstRow && link.firstCol == tip.firstCol && link.screenTip.empty())
                link.screenTip = tip.screenTip;
    for (auto& note : m_notes)
    {
        model::Comment comment;
        comment.row = note.row;
        comment.col = note.col;
        comment.shown = note.shown;
        comment.author = std::move(note.author);
        if (!m_biff8)
        {
            model::TextRun run;
            run.text = std::move(note.biff5Text);
            comment.text.push_back(std::move(run));
        }
        else if (auto it = m_texts.find(note.objId); it != m_texts.end())
        {
            comment.text = it->second;
        }
        if (comment.row < model::kMaxRows && comment.col < model::kMaxColumns)
            header.comments.push_back(std::move(comment));
    }
    if (m_autoFilter)
    {
        for (const auto& name : m_g.names)
        {
            if (name.builtin != 0x0D || name.sheet != m_sheetIndex)
                continue;
            formula::FormulaContext ctx = m_ctx;
            ctx.row = 0;
            ctx.col = 0;
            ctx.sharedFormula = false;
            auto result = formula::decompile(name.rgce, name.rgcb, ctx);
            if (!result.status || result.text.empty())
                break;
            std::string text = result.text;
            auto bang = text.rfind('!');
            options.autoFilterR1C1 = bang == std::string::npos ? stripEquals(text) : text.substr(bang + 1);
            break;
        }
    }
}

/// Excel writes a link to a sheet-local name ("#Sheet1!Totals") as the range the name stands for ("#Sheet1!C7:E8").
void XlsSheetReader::resolveLocalNameLinks(model::SheetHeader& header) const
{
    for (auto& link : header.hyperlinks)
    {
        auto hash = link.href.find('#');
        auto bang = link.href.rfind('!');
        if (hash == std::string::npos || bang == std::string::npos || bang < hash)
            continue;
        std::string sheet = link.href.substr(hash + 1, bang - hash - 1);
        if (sheet.size() >= 2 && sheet.front() == '\'' && sheet.back() == '\'')
            sheet = sheet.substr(1, sheet.size() - 2);
        std::string local = link.href.substr(bang + 1);
        for (const auto& name : m_g.info.names)
        {
            if (name.sheet < 0 || static_cast<std::size_t>(name.sheet) >= m_g.sheets.size() ||
                !equalsIgnoringCase(m_g.sheets[static_cast<std::size_t>(name.sheet)].name, sheet) ||
                !equalsIgnoringCase(name.name, local))
                continue;
            auto target = name.refersTo.rfind('!');
            if (auto a1 = absoluteR1C1ToA1(name.refersTo.substr(target == std::string::npos ? 1 : target + 1)))
                link.href = link.href.substr(0, bang + 1) + *a1;
            break;
        }
    }
}

// ---- Second pass -------------------------------------------------------------------------------------------

Status XlsSheetReader::stream(model::SheetSink& sink)
{
    m_stream.seek(m_start);
    Record r;
    if (Status st = m_stream.next(r); !st)
        return st;
    Status st = walkSubstream(r, isCellRecord, [&](Record& record) { return streamRecord(record, sink); });
    if (!st || m_stopped)
        return st;
    flush(sink, true);
    return {};
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

int XlsSheetReader::styleOf(std::uint16_t ixfe) const
{
    return ixfe < m_styleCount ? static_cast<int>(ixfe) : -1;
}

std::string_view XlsSheetReader::keep(std::string text)
{
    m_arena.push_back(std::move(text));
    return m_arena.back();
}

std::optional<std::string> XlsSheetReader::decompile(std::span<const std::uint8_t> rgce,
                                                     std::span<const std::uint8_t> rgcb, std::uint32_t row,
                                                     std::uint32_t col, bool shared)
{
    if (rgce.empty())
        return std::nullopt;
    formula::FormulaContext ctx = m_ctx;
    ctx.row = row;
    ctx.col = col;
    ctx.sharedFormula = shared;
    auto result = formula::decompile(rgce, rgcb, ctx);
    if (!result.status || result.text.empty() || result.anchor)
        return std::nullopt;
    return std::move(result.text);
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
