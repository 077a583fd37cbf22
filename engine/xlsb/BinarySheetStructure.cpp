// First pass over a binary worksheet part: everything but the cells.
#include "engine/xlsb/BinarySheetReader.h"

#include "engine/Text.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xlsb/RecordTypes.h"
#include "engine/xlsb/WideString.h"
#include "engine/xlsx/FormulaLinkCollector.h"
#include "engine/xlsx/SheetStructureReader.h"

#include <algorithm>
#include <cmath>

namespace velquin::engine::xlsb {

using namespace model;

namespace {

constexpr std::size_t kMaxListed = 1000000;
constexpr std::size_t kMaxBookkeeping = std::size_t(64) << 20;
constexpr std::size_t kMaxRulesPerFormat = 64;
constexpr std::size_t kMaxFormulaLinks = 1 << 16; // Excel's own limit of links per sheet

// Whether the tokens call HYPERLINK (a PtgFuncVar of any class with function number 359): a cheap test before a
// formula is decompiled to find its target.
bool callsHyperlink(std::span<const std::uint8_t> rgce)
{
    for (std::size_t i = 0; i + 3 < rgce.size(); ++i)
    {
        const std::uint8_t ptg = rgce[i];
        if ((ptg == 0x22 || ptg == 0x42 || ptg == 0x62) && rgce[i + 2] == 0x67 && rgce[i + 3] == 0x01)
            return true;
    }
    return false;
}

struct Range
{
    std::uint32_t firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
};

bool readRange(ByteCursor& c, Range& range)
{
    if (!c.readU32(range.firstRow) || !c.readU32(range.lastRow) || !c.readU32(range.firstCol) ||
        !c.readU32(range.lastCol))
        return false;
    range.firstRow = std::min(range.firstRow, kMaxRows - 1);
    range.lastRow = std::min(range.lastRow, kMaxRows - 1);
    range.firstCol = std::min(range.firstCol, kMaxColumns - 1);
    range.lastCol = std::min(range.lastCol, kMaxColumns - 1);
    if (range.lastRow < range.firstRow)
        std::swap(range.firstRow, range.lastRow);
    if (range.lastCol < range.firstCol)
        std::swap(range.firstCol, range.lastCol);
    return true;
}

// A list of ranges: its count and the ranges, as absolute R1C1 joined by ",".
bool readRangeList(ByteCursor& c, std::string& text, Range& first)
{
    std::uint32_t count = 0;
    if (!c.readU32(count) || count > c.remaining() / 16)
        return false;
    text.clear();
    for (std::uint32_t i = 0; i < count; ++i)
    {
        Range range;
        readRange(c, range);
        if (i == 0)
            first = range;
        if (!text.empty())
            text += ',';
        text += xls::absoluteRangeR1C1(range.firstRow, range.firstCol, range.lastRow, range.lastCol);
    }
    return true;
}

bool readFormula(ByteCursor& c, std::span<const std::uint8_t>& rgce, std::span<const std::uint8_t>& rgcb)
{
    std::uint32_t cce = 0, cb = 0;
    return c.readU32(cce) && c.readBytes(cce, rgce) && c.readU32(cb) && c.readBytes(cb, rgcb);
}

class StructureReader
{
public:
    StructureReader(BinarySheetContext& context, BinarySheetStructure& out) : m_context(context), m_out(out) {}

    /// False when the record is cut short; `status` is set for limits.
    bool read(const Record& record, Status& status)
    {
        ByteCursor c(record.body);
        switch (record.type)
        {
        case rt::BrtWsFmtInfo:
            return sheetFormat(c);
        case rt::BrtColInfo:
            return column(c, status);
        case rt::BrtBeginWsView:
            return sheetView(c);
        case rt::BrtEndWsView:
            m_inFirstView = false;
            return true;
        case rt::BrtPane:
            return !m_inFirstView || pane(c);
        case rt::BrtSel:
            return !m_inFirstView || selection(c);
        case rt::BrtMergeCell:
            return merge(c, status);
        case rt::BrtHLink:
            return hyperlink(c, status);
        case rt::BrtBeginAFilter:
            return autoFilter(c);
        case rt::BrtDVal:
            return validation(c, status);
        case rt::BrtBeginCondFormatting:
            return conditionalFormat(c, status);
        case rt::BrtEndCondFormatting:
            finishConditionalFormat();
            return true;
        case rt::BrtBeginCFRule:
            return conditionRule(c, status);
        case rt::BrtWsProp:
            return sheetProperties(c);
        case rt::BrtSheetProtection:
            return protection(c);
        default:
            return true;
        }
    }

    void finish()
    {
        finishConditionalFormat();
        // Cells the sheet links itself keep that link.
        for (Hyperlink& link : m_formulaLinks)
        {
            const bool linked =
                std::any_of(m_out.header.hyperlinks.begin(), m_out.header.hyperlinks.end(), [&](const Hyperlink& own) {
                    return own.firstRow <= link.firstRow && link.firstRow <= own.lastRow &&
                           own.firstCol <= link.firstCol && link.firstCol <= own.lastCol;
                });
            if (!linked)
            {
                m_out.header.hyperlinks.push_back(std::move(link));
                m_out.linkRelationships.emplace_back();
                m_out.linkLocations.emplace_back();
            }
        }
    }

    /// Cells whose formula is HYPERLINK("target", ...) are links too; only their formulas are read here.
    void cellRecord(const Record& record)
    {
        ByteCursor c(record.body);
        if (record.type == rt::BrtRowHdr)
        {
            c.readU32(m_row);
            return;
        }
        std::uint32_t col = 0, style = 0;
        if (!c.readU32(col) || !c.readU32(style) || m_formulaLinks.size() >= kMaxFormulaLinks)
            return;
        bool ok = true;
        switch (record.type)
        {
        case rt::BrtFmlaString: {
            std::uint32_t count = 0;
            ok = c.readU32(count) && count <= c.remaining() / 2 && c.skip(count * 2);
            break;
        }
        case rt::BrtFmlaNum:
            ok = c.skip(8);
            break;
        case rt::BrtFmlaBool:
        case rt::BrtFmlaError:
            ok = c.skip(1);
            break;
        default:
            return;
        }
        std::uint16_t flags = 0;
        std::span<const std::uint8_t> rgce, rgcb;
        if (!ok || !c.readU16(flags) || !readFormula(c, rgce, rgcb) || !callsHyperlink(rgce))
            return;
        auto& ctx = m_context.formulas;
        ctx.row = std::min(m_row, kMaxRows - 1);
        ctx.col = std::min(col, kMaxColumns - 1);
        auto result = xls::formula::decompile(rgce, rgcb, ctx);
        if (!result.status || result.text.size() < 2)
            return;
        std::string target = xlsx::hyperlinkTarget(std::string_view(result.text).substr(1));
        if (target.empty())
            return;
        Hyperlink link;
        link.firstRow = link.lastRow = ctx.row;
        link.firstCol = link.lastCol = ctx.col;
        link.href = std::move(target);
        m_formulaLinks.push_back(std::move(link));
    }

private:
    bool charge(std::size_t bytes, Status& status)
    {
        m_bytes += bytes;
        if (m_bytes <= kMaxBookkeeping)
            return true;
        status = {EngineErrc::LimitExceeded,
                  "the sheet's links, validations and conditional formats take more than 64 MB"};
        return false;
    }

    bool tooMany(std::size_t count, Status& status)
    {
        if (count < kMaxListed)
            return false;
        status = {EngineErrc::LimitExceeded, "more than a million entries of one kind in a sheet"};
        return true;
    }

    bool sheetFormat(ByteCursor& c)
    {
        std::uint32_t width = 0;
        std::uint16_t base = 0, height = 0;
        if (!c.readU32(width) || !c.readU16(base) || !c.readU16(height))
            return false;
        if (height > 0 && height < 1000 * 20)
            m_out.header.defaultRowHeight = height / 20.0;
        const int digit = m_context.maxDigitWidth;
        if (width != 0xFFFFFFFFu && width > 0 && width < 256 * 256)
            m_out.header.defaultColumnWidth = xlsx::columnWidthToPoints(width / 256.0, digit);
        else if (base < 256)
        {
            // The default width adds the cell margins and gridline (5 pixels) to the base width in digits, and
            // Excel rounds the result up to a multiple of 8 pixels.
            const double pixels = std::ceil((base * digit + 5) / 8.0) * 8;
            m_out.header.defaultColumnWidth = pixels * 0.75;
        }
        return true;
    }

    bool column(ByteCursor& c, Status& status)
    {
        std::vector<ColumnInfo>& columns = m_out.header.columns;
        std::uint32_t first = 0, last = 0, width = 0, style = 0;
        std::uint16_t flags = 0;
        if (!c.readU32(first) || !c.readU32(last) || !c.readU32(width) || !c.readU32(style) || !c.readU16(flags))
            return false;
        if (tooMany(columns.size(), status))
            return true;
        ColumnInfo info;
        info.first = std::min(first, kMaxColumns - 1);
        info.last = std::min(last, kMaxColumns - 1);
        if (info.last < info.first)
            std::swap(info.first, info.last);
        if (!columns.empty() && info.first <= columns.back().last)
        {
            // Overlapping entries are not valid; the later one wins where it goes beyond the earlier.
            if (info.last <= columns.back().last)
                return true;
            info.first = columns.back().last + 1;
        }
        if (width <= 255 * 256)
            info.width = xlsx::columnWidthToPoints(width / 256.0, m_context.maxDigitWidth);
        info.hidden = (flags & 0x01) != 0;
        info.style = style < m_context.styleCount ? static_cast<int>(style) : -1;
        info.autoFit = (flags & 0x02) == 0 && (flags & 0x04) != 0;
        columns.push_back(info);
        return true;
    }

    /// BrtWsProp: three bytes of flags, then the tab's colour as a BrtColor (its kind in the upper seven bits of
    /// its first byte, 1 for a palette index in its second). Like .xlsx's tabColor, only a palette index is kept.
    bool sheetProperties(ByteCursor& c)
    {
        std::uint8_t type = 0, index = 0;
        if (!c.skip(3) || !c.readU8(type) || !c.readU8(index))
            return false;
        if ((type >> 1) == 1)
            m_out.options.tabColorIndex = std::min<std::uint32_t>(index, 80);
        return true;
    }

    /// BrtSheetProtection: the password verifier, then one four-byte flag each for the sheet, its objects and its
    /// scenarios (1 when protected), and the rest of the options.
    bool protection(ByteCursor& c)
    {
        std::uint16_t password = 0;
        std::uint32_t sheet = 0, objects = 0, scenarios = 0;
        if (!c.readU16(password) || !c.readU32(sheet) || !c.readU32(objects) || !c.readU32(scenarios))
            return false;
        SheetOptions& o = m_out.options;
        o.protectContents = sheet != 0;
        o.protectObjects = o.protectContents && objects != 0;
        o.protectScenarios = o.protectContents && scenarios != 0;
        return true;
    }

    bool sheetView(ByteCursor& c)
    {
        std::uint16_t flags = 0, reservedZoom = 0, zoom = 0;
        std::uint32_t view = 0, top = 0, left = 0;
        std::uint8_t header = 0, reserved = 0;
        if (!c.readU16(flags) || !c.readU32(view) || !c.readU32(top) || !c.readU32(left) || !c.readU8(header) ||
            !c.readU8(reserved) || !c.readU16(zoom))
            return false;
        (void)reservedZoom;
        m_inFirstView = ++m_viewCount == 1;
        if (!m_inFirstView)
            return true;
        SheetOptions& o = m_out.options;
        o.selected = (flags & 0x40) != 0;
        o.showGridlines = (flags & 0x04) != 0;
        o.showRowColHeaders = (flags & 0x08) != 0;
        o.showZeros = (flags & 0x10) != 0;
        o.rightToLeft = (flags & 0x20) != 0;
        o.zoom = zoom == 0 ? 100 : std::clamp<int>(zoom, 10, 400);
        o.pageBreakPreview = view == 1;
        o.topRowVisible = std::min(top, kMaxRows - 1);
        o.leftColVisible = std::min(left, kMaxColumns - 1);
        return true;
    }

    bool pane(ByteCursor& c)
    {
        double x = 0, y = 0;
        std::uint32_t top = 0, left = 0, active = 0;
        std::uint8_t flags = 0;
        if (!c.readDouble(x) || !c.readDouble(y) || !c.readU32(top) || !c.readU32(left) || !c.readU32(active) ||
            !c.readU8(flags))
            return false;
        SheetOptions& o = m_out.options;
        o.paneKind = (flags & 0x03) ? PaneKind::Frozen : PaneKind::Split;
        o.splitCols = std::isfinite(x) ? static_cast<std::uint32_t>(std::clamp(x, 0.0, 1e9)) : 0;
        o.splitRows = std::isfinite(y) ? static_cast<std::uint32_t>(std::clamp(y, 0.0, 1e9)) : 0;
        o.topRowBottomPane = std::min(top, kMaxRows - 1);
        o.leftColRightPane = std::min(left, kMaxColumns - 1);
        o.activePane = active <= 3 ? static_cast<int>(active) : 3;
        return true;
    }

    bool selection(ByteCursor& c)
    {
        std::uint32_t pane = 0, row = 0, col = 0, activeRange = 0;
        if (!c.readU32(pane) || !c.readU32(row) || !c.readU32(col) || !c.readU32(activeRange))
            return false;
        SheetOptions& o = m_out.options;
        if (o.selections.size() >= 4)
            return true;
        Selection s;
        s.pane = pane <= 3 ? static_cast<int>(pane) : 3;
        s.activeRow = std::min(row, kMaxRows - 1);
        s.activeCol = std::min(col, kMaxColumns - 1);
        std::string ranges;
        Range first;
        if (!readRangeList(c, ranges, first))
            return false;
        const bool onlyActive = ranges.empty() || (ranges.find(',') == std::string::npos &&
                                                   first.firstRow == s.activeRow && first.lastRow == s.activeRow &&
                                                   first.firstCol == s.activeCol && first.lastCol == s.activeCol);
        if (!onlyActive)
            s.rangeR1C1 = std::move(ranges);
        o.selections.push_back(std::move(s));
        return true;
    }

    bool merge(ByteCursor& c, Status& status)
    {
        Range range;
        if (!readRange(c, range))
            return false;
        if (tooMany(m_out.header.merges.size(), status))
            return true;
        if (range.firstRow != range.lastRow || range.firstCol != range.lastCol)
            m_out.header.merges.push_back({range.firstRow, range.firstCol, range.lastRow, range.lastCol});
        return true;
    }

    bool hyperlink(ByteCursor& c, Status& status)
    {
        Range range;
        std::string relationship, location, tip, display;
        if (!readRange(c, range) || !readNullableWideString(c, relationship) || !readWideString(c, location) ||
            !readWideString(c, tip) || !readWideString(c, display))
            return false;
        if (tooMany(m_out.header.hyperlinks.size(), status) ||
            !charge(sizeof(Hyperlink) + tip.size() + relationship.size() + location.size() + 96, status))
            return true;
        Hyperlink link;
        link.firstRow = range.firstRow;
        link.firstCol = range.firstCol;
        link.lastRow = range.lastRow;
        link.lastCol = range.lastCol;
        link.screenTip = std::move(tip);
        m_out.header.hyperlinks.push_back(std::move(link));
        m_out.linkRelationships.push_back(std::move(relationship));
        m_out.linkLocations.push_back(std::move(location));
        return true;
    }

    bool autoFilter(ByteCursor& c)
    {
        Range range;
        if (!readRange(c, range))
            return false;
        if (!m_out.options.autoFilterR1C1)
            m_out.options.autoFilterR1C1 =
                xls::absoluteRangeR1C1(range.firstRow, range.firstCol, range.lastRow, range.lastCol);
        return true;
    }

    // A formula of a validation or condition: R1C1 relative to the range's first cell, without the "=".
    std::string conditionFormula(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb,
                                 const Range& origin)
    {
        if (rgce.empty())
            return {};
        auto& ctx = m_context.formulas;
        ctx.row = origin.firstRow;
        ctx.col = origin.firstCol;
        ctx.sharedFormula = true;
        auto result = xls::formula::decompile(rgce, rgcb, ctx);
        ctx.sharedFormula = false;
        if (!result.status || result.anchor || result.text.empty())
            return {};
        return result.text.substr(1);
    }

    bool validation(ByteCursor& c, Status& status)
    {
        std::uint32_t flags = 0;
        DataValidation v;
        Range origin;
        std::span<const std::uint8_t> rgce1, rgcb1, rgce2, rgcb2;
        if (!c.readU32(flags) || !readRangeList(c, v.rangeR1C1, origin) || !readNullableWideString(c, v.errorTitle) ||
            !readNullableWideString(c, v.errorMessage) || !readNullableWideString(c, v.inputTitle) ||
            !readNullableWideString(c, v.inputMessage) || !readFormula(c, rgce1, rgcb1) ||
            !readFormula(c, rgce2, rgcb2))
            return false;
        if (tooMany(m_out.options.validations.size(), status))
            return true;
        static constexpr const char* kTypes[] = {"", "Whole", "Decimal", "List", "Date", "Time", "TextLength",
                                                 "Custom"};
        static constexpr const char* kOps[] = {"Between", "NotBetween", "Equal",          "NotEqual",
                                               "Greater", "Less",       "GreaterOrEqual", "LessOrEqual"};
        const unsigned type = flags & 0x0F;
        v.type = type < 8 ? kTypes[type] : "";
        const unsigned style = (flags >> 4) & 0x07;
        v.errorStyle = style == 1 ? "Warn" : style == 2 ? "Info" : "Stop";
        v.allowBlank = (flags & 0x0100) != 0;
        v.suppressDropDown = (flags & 0x0200) != 0;
        v.showInput = (flags & 0x40000) != 0;
        v.showError = (flags & 0x80000) != 0;
        const unsigned op = (flags >> 20) & 0x0F;
        if (type != 0 && type != 3 && type != 7)
            v.qualifier = op < 8 ? kOps[op] : "";
        std::string first = conditionFormula(rgce1, rgcb1, origin);
        std::string second = conditionFormula(rgce2, rgcb2, origin);
        // An explicit list keeps its items apart with NUL characters.
        if (type == 3 && (flags & 0x80))
            std::replace(first.begin(), first.end(), '\0', ',');
        if (v.qualifier == "Between" || v.qualifier == "NotBetween")
        {
            v.min = std::move(first);
            v.max = std::move(second);
        }
        else
            v.value = std::move(first);
        if (!charge(sizeof(DataValidation) + v.rangeR1C1.size() + v.value.size() + v.min.size() + v.max.size() +
                        v.errorTitle.size() + v.errorMessage.size() + v.inputTitle.size() + v.inputMessage.size(),
                    status))
            return true;
        m_out.options.validations.push_back(std::move(v));
        return true;
    }

    bool conditionalFormat(ByteCursor& c, Status& status)
    {
        finishConditionalFormat();
        std::uint32_t count = 0, pivot = 0;
        std::string ranges;
        if (!c.readU32(count) || !c.readU32(pivot) || !readRangeList(c, ranges, m_conditionOrigin))
            return false;
        if (tooMany(m_out.options.conditionalFormats.size(), status) || !charge(ranges.size() + 64, status))
            return true;
        m_condition = ConditionalFormat{};
        m_condition->rangeR1C1 = std::move(ranges);
        return true;
    }

    bool conditionRule(ByteCursor& c, Status& status)
    {
        std::uint32_t type = 0, tmpl = 0, dxf = 0, priority = 0, param = 0, reserved1 = 0, reserved2 = 0;
        std::uint16_t flags = 0;
        std::uint32_t sizes[3] = {};
        std::string text;
        if (!c.readU32(type) || !c.readU32(tmpl) || !c.readU32(dxf) || !c.readU32(priority) || !c.readU32(param) ||
            !c.readU32(reserved1) || !c.readU32(reserved2) || !c.readU16(flags) || !c.readU32(sizes[0]) ||
            !c.readU32(sizes[1]) || !c.readU32(sizes[2]) || !readNullableWideString(c, text))
            return false;
        std::span<const std::uint8_t> rgce[3], rgcb[3];
        for (int i = 0; i < 3; ++i)
        {
            if (sizes[i] > 0 && !readFormula(c, rgce[i], rgcb[i]))
                return false;
        }
        // Only comparisons of the cell's value (1) and formulas (2) have a form in SpreadsheetML.
        if (!m_condition || m_condition->rules.size() >= kMaxRulesPerFormat || (type != 1 && type != 2))
            return true;
        static constexpr const char* kOps[] = {"",        "Between", "NotBetween",     "Equal",      "NotEqual",
                                               "Greater", "Less",    "GreaterOrEqual", "LessOrEqual"};
        ConditionalRule rule;
        if (type == 1)
            rule.qualifier = param < 9 ? kOps[param] : "";
        rule.value1 = conditionFormula(rgce[0], rgcb[0], m_conditionOrigin);
        if (type == 1 && (param == 1 || param == 2))
            rule.value2 = conditionFormula(rgce[1], rgcb[1], m_conditionOrigin);
        if (m_context.differentialCss && dxf < m_context.differentialCss->size())
            rule.css = (*m_context.differentialCss)[dxf];
        if (rule.value1.empty() || (type == 1 && rule.qualifier.empty()))
            return true;
        if (!charge(sizeof(ConditionalRule) + rule.value1.size() + rule.value2.size() + rule.css.size(), status))
            return true;
        m_condition->rules.push_back(std::move(rule));
        return true;
    }

    void finishConditionalFormat()
    {
        // Kept without rules too: Excel writes the range of rules SpreadsheetML 2003 cannot express.
        if (m_condition)
            m_out.options.conditionalFormats.push_back(std::move(*m_condition));
        m_condition.reset();
    }

    BinarySheetContext& m_context;
    BinarySheetStructure& m_out;
    int m_viewCount = 0;
    bool m_inFirstView = false;
    std::size_t m_bytes = 0;
    std::optional<ConditionalFormat> m_condition;
    Range m_conditionOrigin;
    std::uint32_t m_row = 0;
    std::vector<Hyperlink> m_formulaLinks;
};

} // namespace

Status readBinarySheetStructure(RecordReader& records, BinarySheetContext& context, BinarySheetStructure& out)
{
    StructureReader reader(context, out);
    Record record;
    bool more = true;
    bool inData = false;
    while (true)
    {
        if (Status status = records.next(record, more); !status)
            return status;
        if (!more)
            break;
        // The cells are the second pass's; only their bounds are looked for here.
        if (record.type == rt::BrtBeginSheetData)
            inData = true;
        else if (record.type == rt::BrtEndSheetData)
            inData = false;
        if (inData)
        {
            reader.cellRecord(record);
            continue;
        }
        Status status;
        if (!reader.read(record, status))
            return {EngineErrc::DamagedFile, records.partName() + ": record " + std::to_string(record.type) +
                                                 " at offset " + std::to_string(record.offset) + " is cut short"};
        if (!status)
            return status;
    }
    reader.finish();
    return {};
}

} // namespace velquin::engine::xlsb
