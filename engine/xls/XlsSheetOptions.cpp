// Sheet options: the window (WINDOW2, PANE, SELECTION, SCL), protection, tab colour, the auto filter, data
// validations (DV) and conditional formats (CONDFMT, CF, CFEX).
#include "engine/xls/CondFmtRecords.h"
#include "engine/xls/XlsFormulaContext.h"
#include "engine/xls/XlsSheetReader.h"

#include <algorithm>
#include <cmath>

namespace velquin::engine::xls {

namespace {

constexpr std::size_t kMaxValidationsPerSheet = 65534; // the most a sheet's DVAL record can announce
constexpr std::size_t kMaxConditionalFormatsPerSheet = 65534;
constexpr std::uint16_t kMaxRulesPerConditionalFormat = 3;
/// Text of one sheet's conditional formats (ranges and formulas): each CONDFMT may list thousands of ranges.
constexpr std::size_t kMaxConditionalFormatBytes = 64u * 1024 * 1024;
/// A CF with two formulas of the longest kind, its format and the CONTINUE records that carry them.
constexpr std::size_t kMaxCfRecord = 64u * 1024;

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

} // namespace

Status XlsSheetReader::collectOptionRecord(Record& r, model::SheetOptions& options)
{
    ByteCursor c(r.bytes());
    switch (r.sid)
    {
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
    case sid::CondFmt12:
        collectCondFmt12(r);
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
    case sid::CfEx:
        collectCfEx(r);
        break;
    case sid::Protect:
        options.protectContents = c.u16() != 0;
        break;
    case sid::ObjProtect:
        options.protectObjects = c.u16() != 0;
        break;
    case sid::ScenProtect:
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

void XlsSheetReader::collectCondFmt12(const Record& r)
{
    // The ranges of rules newer than BIFF8 (data bars, icon sets, colour scales, top 10...), whose CF12 rules have
    // no SpreadsheetML 2003 form: the range is written without them. A 12-byte future-record header comes first.
    if (!m_condFmts.empty())
        m_condFmts.back().rulesLeft = 0;
    const std::span<const std::uint8_t> bytes = r.bytes();
    if (!m_biff8 || bytes.size() <= 12 || m_condFmts.size() >= kMaxConditionalFormatsPerSheet)
        return;
    auto record = parseCondFmt(bytes.subspan(12));
    if (!record || m_condFmtBytes + record->rangeR1C1.size() > kMaxConditionalFormatBytes)
        return;
    m_condFmtBytes += record->rangeR1C1.size();
    PendingCondFmt& pending = m_condFmts.emplace_back();
    pending.format.rangeR1C1 = std::move(record->rangeR1C1);
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
        // A range whose rules have no SpreadsheetML 2003 form is still written, without conditions, as Excel does.
        for (std::size_t i = 0; i < pending.format.rules.size(); ++i)
            pending.format.rules[i].css = pending.ruleFormats[i].second.css(m_g.styles.palette);
        options.conditionalFormats.push_back(std::move(pending.format));
    }
    m_condFmts.clear();
    m_condFmtById.clear();
}

void XlsSheetReader::finishAutoFilter(model::SheetOptions& options) const
{
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

} // namespace velquin::engine::xls
