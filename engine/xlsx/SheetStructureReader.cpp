// Reads everything of a worksheet part except its cells.
#include "engine/xlsx/SheetStructureReader.h"

#include "engine/Text.h"
#include "engine/formula/A1Tokenizer.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <cmath>

namespace velquin::engine::xlsx {

using namespace velquin::engine::model;

namespace {

constexpr std::size_t kMaxListed = 1 << 20; // merges, links, validations... per sheet
constexpr std::size_t kMaxFormulaText = 1 << 16;
/// The memory one sheet's links, validations and conditional formats may take: each holds several strings, so a
/// count limit alone would still let a few megabytes of XML claim gigabytes.
constexpr std::size_t kMaxBookkeeping = std::size_t(64) << 20;

std::uint32_t clampIndex(long long value, std::uint32_t limit)
{
    return static_cast<std::uint32_t>(std::clamp<long long>(value, 0, limit - 1));
}

std::string_view qualifierOf(std::string_view op)
{
    if (op == "between")
        return "Between";
    if (op == "notBetween")
        return "NotBetween";
    if (op == "equal")
        return "Equal";
    if (op == "notEqual")
        return "NotEqual";
    if (op == "greaterThan")
        return "Greater";
    if (op == "lessThan")
        return "Less";
    if (op == "greaterThanOrEqual")
        return "GreaterOrEqual";
    if (op == "lessThanOrEqual")
        return "LessOrEqual";
    return {};
}

std::string_view validationTypeOf(std::string_view type)
{
    if (type == "whole")
        return "Whole";
    if (type == "decimal")
        return "Decimal";
    if (type == "list")
        return "List";
    if (type == "date")
        return "Date";
    if (type == "time")
        return "Time";
    if (type == "textLength")
        return "TextLength";
    if (type == "custom")
        return "Custom";
    return {};
}

// The top-left cell of the first range of a sqref ("B2:C4 E1" -> B2), which relative formulas are seen from.
void firstCellOf(std::string_view sqref, std::uint32_t& row, std::uint32_t& col)
{
    row = col = 0;
    std::size_t space = sqref.find(' ');
    formula::CellRange range;
    if (formula::parseA1Range(sqref.substr(0, space), range))
    {
        row = range.firstRow;
        col = range.firstCol;
    }
}

// A formula of a validation or condition: R1C1 relative to the range's first cell, without the "=".
std::string conditionFormula(std::string_view a1, std::string_view sqref)
{
    std::uint32_t row = 0, col = 0;
    firstCellOf(sqref, row, col);
    std::string r1c1 = formula::toR1C1Formula(a1, row, col);
    return r1c1.substr(1);
}

class StructureHandler : public XmlHandler
{
public:
    StructureHandler(const SheetContext& context, SheetStructure& out) : m_context(context), m_out(out) {}

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (name == "sheetFormatPr")
            sheetFormat(a);
        else if (name == "col")
            column(a);
        else if (name == "sheetView")
            sheetView(a);
        else if (name == "pane" && m_viewCount == 1)
            pane(a);
        else if (name == "selection" && m_viewCount == 1)
            selection(a);
        else if (name == "mergeCell")
            merge(a);
        else if (name == "hyperlink")
            hyperlink(a);
        else if (name == "autoFilter" && !m_out.options.autoFilterR1C1)
            autoFilter(a);
        else if (name == "sheetProtection")
            protection(a);
        else if (name == "tabColor")
            m_out.options.tabColorIndex = static_cast<std::uint32_t>(std::clamp(a.integer("indexed", 0), 0LL, 80LL));
        else if (name == "dataValidation")
            validation(a);
        else if (name == "conditionalFormatting")
            m_conditionRange = a.get("sqref");
        else if (name == "cfRule")
            conditionRule(a);
        else if (name == "formula1" || name == "formula2" || name == "formula")
        {
            m_collecting = true;
            m_text.clear();
        }
        if (name == "sheetData" || name == "mergeCells" || name == "hyperlinks" || name == "dataValidations" ||
            name == "conditionalFormatting" || name == "sheetViews" || name == "cols" || name == "extLst")
            ++m_depth;
    }

    void endElement(std::string_view name) override
    {
        if (name == "sheetData" || name == "mergeCells" || name == "hyperlinks" || name == "dataValidations" ||
            name == "conditionalFormatting" || name == "sheetViews" || name == "cols" || name == "extLst")
            --m_depth;
        if (name == "formula1" || name == "formula2" || name == "formula")
            formulaEnd(name);
        else if (name == "dataValidation" && m_inValidation)
        {
            m_inValidation = false;
            finishValidation();
        }
        else if (name == "cfRule" && m_inRule)
        {
            m_inRule = false;
            finishRule();
        }
        else if (name == "conditionalFormatting")
            finishConditionalFormat();
    }

    void text(std::string_view text) override
    {
        if (m_collecting && m_text.size() < kMaxFormulaText)
            m_text += text;
    }

private:
    bool charge(std::size_t bytes)
    {
        m_bytes += bytes;
        if (m_bytes <= kMaxBookkeeping)
            return true;
        stopReason = {EngineErrc::LimitExceeded,
                      "the sheet's links, validations and conditional formats take more than 64 MB"};
        return false;
    }

    bool tooMany(std::size_t count)
    {
        if (count < kMaxListed)
            return false;
        stopReason = {EngineErrc::LimitExceeded, "more than a million entries of one kind in a sheet"};
        return true;
    }

    void sheetFormat(const XmlAttributes& a)
    {
        double height = a.number("defaultRowHeight", -1);
        if (height > 0 && height < 1000)
            m_out.header.defaultRowHeight = height;
        double width = a.number("defaultColWidth", -1);
        double base = a.number("baseColWidth", -1);
        int digit = m_context.maxDigitWidth;
        if (width > 0 && width < 256)
            m_out.header.defaultColumnWidth = columnWidthToPoints(width, digit);
        else if (base >= 0 && base < 256)
        {
            // The default width adds the cell margins and gridline (5 pixels) to the base width in digits, and
            // Excel rounds the result up to a multiple of 8 pixels.
            double pixels = std::ceil((base * digit + 5) / 8) * 8;
            m_out.header.defaultColumnWidth = pixels * 0.75;
        }
    }

    void column(const XmlAttributes& a)
    {
        std::vector<ColumnInfo>& columns = m_out.header.columns;
        if (tooMany(columns.size()))
            return;
        ColumnInfo info;
        info.first = clampIndex(a.integer("min", 1) - 1, kMaxColumns);
        info.last = clampIndex(a.integer("max", 1) - 1, kMaxColumns);
        if (info.last < info.first)
            std::swap(info.first, info.last);
        if (!columns.empty() && info.first <= columns.back().last)
        {
            // Overlapping entries are not valid; the later one wins where it goes beyond the earlier.
            if (info.last <= columns.back().last)
                return;
            info.first = columns.back().last + 1;
        }
        double width = a.number("width", -1);
        if (width >= 0 && width <= 255)
            info.width = columnWidthToPoints(width, m_context.maxDigitWidth);
        info.hidden = a.flag("hidden", false);
        info.style = static_cast<int>(std::clamp(a.integer("style", -1), -1LL, 1LL << 30));
        info.autoFit = !a.flag("customWidth", false) && a.flag("bestFit", false);
        columns.push_back(info);
    }

    void sheetView(const XmlAttributes& a)
    {
        if (++m_viewCount != 1)
            return;
        SheetOptions& o = m_out.options;
        o.selected = a.flag("tabSelected", false);
        o.showGridlines = a.flag("showGridLines", true);
        o.showRowColHeaders = a.flag("showRowColHeaders", true);
        o.showZeros = a.flag("showZeros", true);
        o.rightToLeft = a.flag("rightToLeft", false);
        o.zoom = static_cast<int>(std::clamp(a.integer("zoomScale", 100), 10LL, 400LL));
        o.pageBreakPreview = a.get("view") == "pageBreakPreview";
        formula::A1Cell top;
        if (formula::parseA1Cell(a.get("topLeftCell"), top))
        {
            o.topRowVisible = top.row - 1;
            o.leftColVisible = top.col - 1;
        }
    }

    static int paneNumber(std::string_view pane)
    {
        if (pane == "bottomRight")
            return 0;
        if (pane == "topRight")
            return 1;
        if (pane == "bottomLeft")
            return 2;
        return 3;
    }

    void pane(const XmlAttributes& a)
    {
        SheetOptions& o = m_out.options;
        std::string_view state = a.get("state", "split");
        o.paneKind = state == "split" ? PaneKind::Split : PaneKind::Frozen;
        double x = std::clamp(a.number("xSplit", 0), 0.0, 1e9);
        double y = std::clamp(a.number("ySplit", 0), 0.0, 1e9);
        o.splitCols = static_cast<std::uint32_t>(x);
        o.splitRows = static_cast<std::uint32_t>(y);
        formula::A1Cell topLeft;
        if (formula::parseA1Cell(a.get("topLeftCell"), topLeft))
        {
            o.topRowBottomPane = topLeft.row - 1;
            o.leftColRightPane = topLeft.col - 1;
        }
        else if (o.paneKind == PaneKind::Frozen)
        {
            o.topRowBottomPane = o.splitRows;
            o.leftColRightPane = o.splitCols;
        }
        o.activePane = paneNumber(a.get("activePane", "topLeft"));
    }

    void selection(const XmlAttributes& a)
    {
        SheetOptions& o = m_out.options;
        if (o.selections.size() >= 4)
            return;
        Selection s;
        s.pane = paneNumber(a.get("pane", "topLeft"));
        formula::A1Cell active;
        if (formula::parseA1Cell(a.get("activeCell", "A1"), active))
        {
            s.activeRow = active.row - 1;
            s.activeCol = active.col - 1;
        }
        std::string_view sqref = a.get("sqref");
        std::string range;
        formula::CellRange single;
        bool onlyActive = sqref.empty() || (formula::parseA1Range(sqref, single) && single.firstRow == s.activeRow &&
                                            single.lastRow == s.activeRow && single.firstCol == s.activeCol &&
                                            single.lastCol == s.activeCol);
        if (!onlyActive && formula::rangeListToR1C1(sqref, false, 0, 0, range))
            s.rangeR1C1 = std::move(range);
        o.selections.push_back(std::move(s));
    }

    void merge(const XmlAttributes& a)
    {
        formula::CellRange range;
        if (tooMany(m_out.header.merges.size()) || !formula::parseA1Range(a.get("ref"), range))
            return;
        if (range.firstRow == range.lastRow && range.firstCol == range.lastCol)
            return;
        m_out.header.merges.push_back({range.firstRow, range.firstCol, range.lastRow, range.lastCol});
    }

    void hyperlink(const XmlAttributes& a)
    {
        formula::CellRange range;
        if (tooMany(m_out.header.hyperlinks.size()) || !formula::parseA1Range(a.get("ref"), range))
            return;
        Hyperlink link;
        link.firstRow = range.firstRow;
        link.firstCol = range.firstCol;
        link.lastRow = range.lastRow;
        link.lastCol = range.lastCol;
        link.screenTip = a.get("tooltip");
        if (!charge(sizeof(Hyperlink) + heapBytes(link.screenTip) + 2 * sizeof(std::string) + a.get("id").size() +
                    a.get("location").size()))
            return;
        m_out.header.hyperlinks.push_back(std::move(link));
        m_out.linkRelationships.emplace_back(a.get("id"));
        m_out.linkLocations.emplace_back(a.get("location"));
    }

    void autoFilter(const XmlAttributes& a)
    {
        std::string range;
        if (formula::rangeListToR1C1(a.get("ref"), false, 0, 0, range))
            m_out.options.autoFilterR1C1 = std::move(range);
    }

    void protection(const XmlAttributes& a)
    {
        SheetOptions& o = m_out.options;
        o.protectContents = a.flag("sheet", false);
        o.protectObjects = o.protectContents && a.flag("objects", false);
        o.protectScenarios = o.protectContents && a.flag("scenarios", false);
    }

    void validation(const XmlAttributes& a)
    {
        if (tooMany(m_out.options.validations.size()))
            return;
        m_inValidation = true;
        m_validationRange = a.get("sqref");
        m_validation = {};
        DataValidation& v = m_validation;
        v.type = validationTypeOf(a.get("type"));
        v.qualifier = qualifierOf(a.get("operator", "between"));
        v.allowBlank = a.flag("allowBlank", false);
        v.suppressDropDown = a.flag("showDropDown", false);
        v.inputTitle = a.get("promptTitle");
        v.inputMessage = a.get("prompt");
        v.errorTitle = a.get("errorTitle");
        v.errorMessage = a.get("error");
        std::string_view style = a.get("errorStyle", "stop");
        v.errorStyle = style == "warning" ? "Warn" : style == "information" ? "Info" : "Stop";
        v.showInput = a.flag("showInputMessage", false);
        v.showError = a.flag("showErrorMessage", false);
        m_formula1.clear();
        m_formula2.clear();
    }

    void finishValidation()
    {
        DataValidation& v = m_validation;
        if (!formula::rangeListToR1C1(m_validationRange, false, 0, 0, v.rangeR1C1))
            return;
        std::string first = conditionFormula(m_formula1, m_validationRange);
        std::string second = conditionFormula(m_formula2, m_validationRange);
        if (v.type == "List" || v.type == "Custom" || v.type.empty())
            v.qualifier.clear();
        if (v.qualifier == "Between" || v.qualifier == "NotBetween")
        {
            v.min = std::move(first);
            v.max = std::move(second);
        }
        else
            v.value = std::move(first);
        std::size_t bytes = sizeof(DataValidation);
        for (const std::string* text : {&v.rangeR1C1, &v.type, &v.qualifier, &v.value, &v.min, &v.max, &v.inputTitle,
                                        &v.inputMessage, &v.errorTitle, &v.errorMessage, &v.errorStyle})
            bytes += heapBytes(*text);
        if (!charge(bytes))
            return;
        m_out.options.validations.push_back(std::move(v));
    }

    void conditionRule(const XmlAttributes& a)
    {
        std::string_view type = a.get("type");
        m_inRule = type == "cellIs" || type == "expression";
        if (!m_inRule)
            return;
        m_rule = {};
        m_ruleFormulas.clear();
        if (type == "cellIs")
            m_rule.qualifier = qualifierOf(a.get("operator"));
        long long dxf = a.integer("dxfId", -1);
        const std::vector<std::string>* css = m_context.differentialCss;
        if (css && dxf >= 0 && static_cast<std::size_t>(dxf) < css->size())
            m_rule.css = (*css)[static_cast<std::size_t>(dxf)];
    }

    void finishRule()
    {
        if (m_ruleFormulas.empty() || m_rules.size() >= 64)
            return;
        m_rule.value1 = conditionFormula(m_ruleFormulas[0], m_conditionRange);
        if (m_ruleFormulas.size() > 1)
            m_rule.value2 = conditionFormula(m_ruleFormulas[1], m_conditionRange);
        m_rules.push_back(std::move(m_rule));
    }

    void finishConditionalFormat()
    {
        ConditionalFormat format;
        // A range whose rules have no SpreadsheetML 2003 form (data bars, icon sets, colour scales, top 10...)
        // is still written, without conditions, as Excel does.
        if (!m_conditionRange.empty() && !tooMany(m_out.options.conditionalFormats.size()) &&
            formula::rangeListToR1C1(m_conditionRange, false, 0, 0, format.rangeR1C1))
        {
            format.rules = std::move(m_rules);
            std::size_t bytes = sizeof(ConditionalFormat) + heapBytes(format.rangeR1C1);
            for (const ConditionalRule& rule : format.rules)
                bytes += sizeof(ConditionalRule) + heapBytes(rule.qualifier) + heapBytes(rule.value1) +
                         heapBytes(rule.value2) + heapBytes(rule.css);
            if (charge(bytes))
                m_out.options.conditionalFormats.push_back(std::move(format));
        }
        m_rules.clear();
        m_conditionRange.clear();
    }

    void formulaEnd(std::string_view name)
    {
        m_collecting = false;
        if (m_inValidation)
            (name == "formula2" ? m_formula2 : m_formula1) = m_text;
        else if (m_inRule && name == "formula" && m_ruleFormulas.size() < 3)
            m_ruleFormulas.push_back(m_text);
    }

    const SheetContext& m_context;
    SheetStructure& m_out;
    int m_viewCount = 0;
    int m_depth = 0;
    std::size_t m_bytes = 0;
    bool m_collecting = false, m_inValidation = false, m_inRule = false;
    std::string m_text, m_formula1, m_formula2, m_validationRange, m_conditionRange;
    DataValidation m_validation;
    ConditionalRule m_rule;
    std::vector<std::string> m_ruleFormulas;
    std::vector<ConditionalRule> m_rules;
};

} // namespace

double columnWidthToPoints(double characters, int maxDigitWidth)
{
    double digit = maxDigitWidth;
    double pixels = std::trunc((256 * characters + std::trunc(128 / digit)) / 256 * digit);
    return pixels * 0.75;
}

int maxDigitWidthOf(std::string_view fontName, double size)
{
    if (!(size > 0 && size < 410))
        size = 11;
    // Digit advance at 96 dpi measured for the usual Normal fonts; others are taken as Calibri-like.
    double perPoint = fontName == "Arial" || fontName == "Verdana" || fontName == "Tahoma" ? 0.74 : 0.64;
    if (fontName == "Times New Roman" || fontName == "Cambria")
        perPoint = 0.62;
    return std::max(1, static_cast<int>(std::lround(size * perPoint)));
}

Status readSheetStructure(std::string_view skeleton, std::string_view partName, const SheetContext& context,
                          SheetStructure& out)
{
    StructureHandler handler(context, out);
    return parseXml(skeleton, handler, partName);
}

} // namespace velquin::engine::xlsx
