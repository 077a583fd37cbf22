// XML Spreadsheet 2003 into the model, with expat.
#include "engine/text/XmlssReader.h"

#include "engine/model/NumberFormats.h"
#include "engine/text/StylePool.h"
#include "engine/text/TypedValue.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <unordered_map>

namespace velquin::engine::text {

namespace {

using xlsx::XmlAttributes;

constexpr std::size_t kMaxTextLength = 32 << 20; ///< one cell's or one element's text
constexpr std::size_t kMaxRuns = 4096;           ///< rich-text runs of one cell or comment

bool truthy(std::string_view value)
{
    return value == "1" || value == "True" || value == "true";
}

std::optional<model::Rgb> parseColor(std::string_view text)
{
    if (text.size() != 7 || text[0] != '#')
        return std::nullopt;
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
    if (error != std::errc() || end != text.data() + 7)
        return std::nullopt;
    return model::Rgb{static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                      static_cast<std::uint8_t>(value)};
}

model::Horizontal horizontalFrom(std::string_view name)
{
    static constexpr std::array<std::string_view, 9> kNames{
        "Automatic", "Left", "Center", "Right", "Fill", "Justify", "CenterAcrossSelection", "Distributed",
        "JustifyDistributed"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
    {
        if (kNames[i] == name)
            return static_cast<model::Horizontal>(i);
    }
    return model::Horizontal::Automatic;
}

model::Vertical verticalFrom(std::string_view name)
{
    static constexpr std::array<std::string_view, 6> kNames{"Bottom",      "Top",        "Center",
                                                            "Justify",     "Distributed", "JustifyDistributed"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
    {
        if (kNames[i] == name)
            return static_cast<model::Vertical>(i);
    }
    return model::Vertical::Bottom;
}

model::Underline underlineFrom(std::string_view name)
{
    if (name == "Single")
        return model::Underline::Single;
    if (name == "Double")
        return model::Underline::Double;
    if (name == "SingleAccounting")
        return model::Underline::SingleAccounting;
    if (name == "DoubleAccounting")
        return model::Underline::DoubleAccounting;
    return model::Underline::None;
}

model::LineStyle lineStyleFrom(std::string_view name)
{
    static constexpr std::array<std::string_view, 8> kNames{"None",       "Continuous",   "Dash",  "Dot",
                                                            "DashDot",    "DashDotDot",   "SlantDashDot", "Double"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
    {
        if (kNames[i] == name)
            return static_cast<model::LineStyle>(i);
    }
    return model::LineStyle::None;
}

model::Pattern patternFrom(std::string_view name)
{
    static constexpr std::array<std::string_view, 19> kNames{
        "None",          "Solid",          "Gray75",        "Gray50",        "Gray25",
        "Gray125",       "Gray0625",       "HorzStripe",    "VertStripe",    "ReverseDiagStripe",
        "DiagStripe",    "DiagCross",      "ThickDiagCross", "ThinHorzStripe", "ThinVertStripe",
        "ThinReverseDiagStripe", "ThinDiagStripe", "ThinHorzCross", "ThinDiagCross"};
    for (std::size_t i = 0; i < kNames.size(); ++i)
    {
        if (kNames[i] == name)
            return static_cast<model::Pattern>(i);
    }
    return model::Pattern::None;
}

/// "YYYY-MM-DDTHH:MM:SS.mmm" as a serial number; false when it is no such date.
bool parseDateTime(std::string_view text, bool date1904, double& serial)
{
    int parts[6] = {0, 0, 0, 0, 0, 0};
    static constexpr std::size_t kOffsets[6] = {0, 5, 8, 11, 14, 17};
    static constexpr std::size_t kLengths[6] = {4, 2, 2, 2, 2, 2};
    if (text.size() < 19)
        return false;
    for (int i = 0; i < 6; ++i)
    {
        const char* begin = text.data() + kOffsets[i];
        auto [end, error] = std::from_chars(begin, begin + kLengths[i], parts[i]);
        if (error != std::errc() || end != begin + kLengths[i])
            return false;
    }
    double fraction = 0;
    if (text.size() > 20 && text[19] == '.')
    {
        double milliseconds = 0;
        std::string digits = "0.";
        digits.append(text.substr(20));
        auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), milliseconds);
        if (error == std::errc() && end == digits.data() + digits.size())
            fraction = milliseconds;
    }
    if (parts[3] > 23 || parts[4] > 59 || parts[5] > 59)
        return false;
    double day = 0;
    if (parts[0] == 1899 && parts[1] == 12 && parts[2] == 31)
        day = 0;
    else if ((day = serialFromDate(parts[0], parts[1], parts[2])) < 0)
        return false;
    if (date1904)
        day -= 1462;
    if (day < 0)
        return false;
    serial = day + (parts[3] * 3600.0 + parts[4] * 60.0 + parts[5] + fraction) / 86400.0;
    return true;
}

/// Builds the runs of rich text (the HTML elements B, I, U, S, Sub, Sup and Font inside ss:Data).
class RichText
{
public:
    void clear()
    {
        m_runs.clear();
        m_stack.clear();
        m_text.clear();
        m_formatted = false;
        m_tooLong = false;
    }
    void open(std::string_view element, const XmlAttributes& attributes)
    {
        model::TextRun::Font font = m_stack.empty() ? model::TextRun::Font{} : m_stack.back();
        if (element == "B")
            font.bold = true;
        else if (element == "I")
            font.italic = true;
        else if (element == "S")
            font.strike = true;
        else if (element == "U")
            font.underline = static_cast<std::uint8_t>(
                attributes.get("Style") == "double" ? model::Underline::Double : model::Underline::Single);
        else if (element == "Sub")
            font.verticalAlign = static_cast<std::uint8_t>(model::VerticalAlign::Subscript);
        else if (element == "Sup")
            font.verticalAlign = static_cast<std::uint8_t>(model::VerticalAlign::Superscript);
        else if (element == "Font")
        {
            if (attributes.has("Face"))
                font.name = std::string(attributes.get("Face"));
            if (attributes.has("Size"))
                font.size = attributes.number("Size", 0);
            if (auto color = parseColor(attributes.get("Color")))
            {
                font.hasColor = true;
                font.r = color->r;
                font.g = color->g;
                font.b = color->b;
            }
        }
        m_formatted = true;
        m_stack.push_back(font);
    }
    void close()
    {
        if (!m_stack.empty())
            m_stack.pop_back();
    }
    void text(std::string_view piece)
    {
        if (m_text.size() + piece.size() > kMaxTextLength)
        {
            m_tooLong = true;
            return;
        }
        m_text.append(piece);
        const bool hasFont = !m_stack.empty();
        const model::TextRun::Font font = hasFont ? m_stack.back() : model::TextRun::Font{};
        if (!m_runs.empty() && m_runs.back().hasFont == hasFont && sameFont(m_runs.back().font, font))
        {
            m_runs.back().text.append(piece);
            return;
        }
        if (m_runs.size() >= kMaxRuns)
        {
            m_runs.back().text.append(piece);
            return;
        }
        model::TextRun run;
        run.text = std::string(piece);
        run.hasFont = hasFont;
        run.font = font;
        m_runs.push_back(std::move(run));
    }
    const std::string& plain() const { return m_text; }
    bool tooLong() const { return m_tooLong; }
    /// The runs, or none when the text carries no formatting.
    std::vector<model::TextRun> runs() const
    {
        if (!m_formatted)
            return {};
        return m_runs;
    }

private:
    static bool sameFont(const model::TextRun::Font& a, const model::TextRun::Font& b)
    {
        return a.name == b.name && a.size == b.size && a.bold == b.bold && a.italic == b.italic &&
               a.strike == b.strike && a.underline == b.underline && a.verticalAlign == b.verticalAlign &&
               a.hasColor == b.hasColor && a.r == b.r && a.g == b.g && a.b == b.b;
    }

    std::vector<model::TextRun> m_runs;
    std::vector<model::TextRun::Font> m_stack;
    std::string m_text;
    bool m_formatted = false;
    bool m_tooLong = false;
};

enum class Section
{
    None,
    DocumentProperties,
    CustomProperties,
    ExcelWorkbook,
    Styles,
    Names,
    Table,
    WorksheetOptions,
    AutoFilter,
    DataValidation,
    ConditionalFormatting,
    Other
};

class XmlssHandler : public xlsx::XmlHandler
{
public:
    explicit XmlssHandler(MemoryWorkbook& workbook) : m_workbook(workbook), m_styles(workbook.workbook) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override;
    void endElement(std::string_view name) override;
    void text(std::string_view piece) override;
    bool sawWorkbook() const { return m_sawWorkbook; }

private:
    void startTopLevel(std::string_view name, const XmlAttributes& attributes);
    void startStyleElement(std::string_view name, const XmlAttributes& attributes);
    void startTableElement(std::string_view name, const XmlAttributes& attributes);
    void startCell(const XmlAttributes& attributes);
    void endCell();
    void endPropertyElement(std::string_view name);
    void endWorkbookElement(std::string_view name);
    void endOptionsElement(std::string_view name);
    void endValidationElement(std::string_view name);
    void endConditionElement(std::string_view name);
    void addName(const XmlAttributes& attributes);
    int styleIndex(std::string_view id) const;
    void fail(EngineErrc code, std::string detail)
    {
        if (stopReason)
            stopReason = {code, std::move(detail)};
    }
    MemorySheet* sheet() { return m_sheet < 0 ? nullptr : &m_workbook.sheets[static_cast<std::size_t>(m_sheet)]; }

    MemoryWorkbook& m_workbook;
    StylePool m_styles;
    std::unordered_map<std::string, int> m_styleIds;
    std::unordered_map<std::string, model::CellStyle> m_resolved;
    bool m_sawWorkbook = false;
    int m_depth = 0;
    Section m_section = Section::None;
    int m_sectionDepth = 0;
    std::string m_text;
    bool m_collect = false;

    // Styles
    model::CellStyle m_style;
    std::string m_styleId, m_styleName;

    // Worksheets
    int m_sheet = -1;
    std::uint32_t m_row = 0, m_nextRow = 0, m_nextCol = 0;
    int m_rowStyle = -1;
    std::uint32_t m_nextColumn = 0;

    // The open cell
    bool m_inCell = false, m_inData = false, m_inComment = false;
    model::Cell m_cell;
    std::string m_cellType, m_formula, m_arrayRange;
    RichText m_rich;
    std::string m_cellText;
    std::vector<model::TextRun> m_cellRuns;
    model::Comment m_comment;

    // Options
    model::Selection m_selection;
    bool m_inPane = false, m_frozen = false;
    model::DataValidation m_validation;
    model::ConditionalFormat m_condition;
    model::ConditionalRule m_rule;
};

int XmlssHandler::styleIndex(std::string_view id) const
{
    if (id.empty())
        return -1;
    const auto found = m_styleIds.find(std::string(id));
    return found == m_styleIds.end() ? -1 : found->second;
}

void XmlssHandler::startElement(std::string_view name, const XmlAttributes& attributes)
{
    ++m_depth;
    m_text.clear();
    if (m_depth == 1)
    {
        if (name != "Workbook")
            fail(EngineErrc::DamagedFile, "the root element is not a SpreadsheetML Workbook");
        m_sawWorkbook = true;
        return;
    }
    if (m_inData)
    {
        m_rich.open(name, attributes);
        return;
    }
    if (m_depth == 2 || (m_depth == 3 && m_sheet >= 0 && m_section == Section::None))
    {
        startTopLevel(name, attributes);
        return;
    }
    switch (m_section)
    {
    case Section::Styles:
        startStyleElement(name, attributes);
        break;
    case Section::Names:
        if (name == "NamedRange")
            addName(attributes);
        break;
    case Section::Table:
        startTableElement(name, attributes);
        break;
    case Section::WorksheetOptions:
        if (name == "Pane")
        {
            m_inPane = true;
            m_selection = {};
        }
        break;
    case Section::ConditionalFormatting:
        if (name == "Condition")
            m_rule = {};
        else if (name == "Format")
            m_rule.css = std::string(attributes.get("Style"));
        break;
    default:
        break;
    }
}

void XmlssHandler::startTopLevel(std::string_view name, const XmlAttributes& attributes)
{
    m_sectionDepth = m_depth;
    if (name == "DocumentProperties")
        m_section = Section::DocumentProperties;
    else if (name == "CustomDocumentProperties")
        m_section = Section::CustomProperties;
    else if (name == "ExcelWorkbook")
        m_section = Section::ExcelWorkbook;
    else if (name == "Styles")
        m_section = Section::Styles;
    else if (name == "Names")
        m_section = Section::Names;
    else if (name == "Worksheet" && m_depth == 2)
    {
        m_section = Section::None;
        addDefaultStyles(m_workbook.workbook);
        MemorySheet& added = m_workbook.addSheet(attributes.get("Name"));
        m_sheet = static_cast<int>(m_workbook.sheets.size() - 1);
        added.options.protectContents = truthy(attributes.get("Protected"));
        m_nextRow = 0;
        m_nextColumn = 0;
    }
    else if (!sheet() || m_depth != 3)
        m_section = Section::Other; // the elements below belong inside a Worksheet
    else if (name == "Table")
    {
        m_section = Section::Table;
        MemorySheet& current = *sheet();
        if (attributes.has("DefaultColumnWidth"))
            current.header.defaultColumnWidth = attributes.number("DefaultColumnWidth", -1);
        if (attributes.has("DefaultRowHeight"))
            current.header.defaultRowHeight = attributes.number("DefaultRowHeight", -1);
    }
    else if (name == "WorksheetOptions")
    {
        m_section = Section::WorksheetOptions;
        sheet()->options.selections.clear();
    }
    else if (name == "AutoFilter")
    {
        m_section = Section::AutoFilter;
        if (attributes.has("Range"))
            sheet()->options.autoFilterR1C1 = std::string(attributes.get("Range"));
    }
    else if (name == "DataValidation")
    {
        m_section = Section::DataValidation;
        m_validation = {};
    }
    else if (name == "ConditionalFormatting")
    {
        m_section = Section::ConditionalFormatting;
        m_condition = {};
    }
    else
        m_section = Section::Other;
}

void XmlssHandler::startStyleElement(std::string_view name, const XmlAttributes& a)
{
    if (name == "Style")
    {
        m_styleId = std::string(a.get("ID"));
        m_styleName = std::string(a.get("Name"));
        const auto parent = m_resolved.find(std::string(a.get("Parent", "Default")));
        m_style = parent != m_resolved.end() ? parent->second : model::CellStyle{};
        return;
    }
    model::CellStyle& s = m_style;
    if (name == "Alignment")
    {
        if (a.has("Horizontal"))
            s.alignment.horizontal = horizontalFrom(a.get("Horizontal"));
        if (a.has("Vertical"))
            s.alignment.vertical = verticalFrom(a.get("Vertical"));
        if (a.has("WrapText"))
            s.alignment.wrapText = truthy(a.get("WrapText"));
        if (a.has("ShrinkToFit"))
            s.alignment.shrinkToFit = truthy(a.get("ShrinkToFit"));
        if (a.has("VerticalText"))
            s.alignment.verticalText = truthy(a.get("VerticalText"));
        s.alignment.rotate = static_cast<int>(std::clamp<long long>(a.integer("Rotate", s.alignment.rotate), -90, 90));
        s.alignment.indent = static_cast<int>(std::clamp<long long>(a.integer("Indent", s.alignment.indent), 0, 250));
        if (a.get("ReadingOrder") == "LeftToRight")
            s.alignment.readingOrder = model::ReadingOrder::LeftToRight;
        else if (a.get("ReadingOrder") == "RightToLeft")
            s.alignment.readingOrder = model::ReadingOrder::RightToLeft;
    }
    else if (name == "Border")
    {
        model::BorderEdge edge;
        edge.lineStyle = lineStyleFrom(a.get("LineStyle"));
        edge.weight = static_cast<int>(std::clamp<long long>(a.integer("Weight", 0), 0, 3));
        edge.color = parseColor(a.get("Color"));
        edge.windowBackground = a.get("Color") == "Background";
        const std::string_view position = a.get("Position");
        if (position == "Left")
            s.borders.left = edge;
        else if (position == "Top")
            s.borders.top = edge;
        else if (position == "Right")
            s.borders.right = edge;
        else if (position == "Bottom")
            s.borders.bottom = edge;
        else if (position == "DiagonalLeft")
            s.borders.diagonalLeft = edge;
        else if (position == "DiagonalRight")
            s.borders.diagonalRight = edge;
    }
    else if (name == "Font")
    {
        model::Font& f = s.font;
        if (a.has("FontName"))
            f.name = std::string(a.get("FontName"));
        f.size = a.number("Size", f.size);
        if (f.size <= 0 || f.size > 409)
            f.size = 10;
        if (a.has("Bold"))
            f.bold = truthy(a.get("Bold"));
        if (a.has("Italic"))
            f.italic = truthy(a.get("Italic"));
        if (a.has("StrikeThrough"))
            f.strike = truthy(a.get("StrikeThrough"));
        if (a.has("Outline"))
            f.outline = truthy(a.get("Outline"));
        if (a.has("Shadow"))
            f.shadow = truthy(a.get("Shadow"));
        if (a.has("Underline"))
            f.underline = underlineFrom(a.get("Underline"));
        if (a.get("VerticalAlign") == "Superscript")
            f.verticalAlign = model::VerticalAlign::Superscript;
        else if (a.get("VerticalAlign") == "Subscript")
            f.verticalAlign = model::VerticalAlign::Subscript;
        if (a.has("Color"))
            f.color = parseColor(a.get("Color"));
        if (a.has("Family"))
            f.family = std::string(a.get("Family"));
        f.charset = static_cast<int>(std::clamp<long long>(a.integer("CharSet", f.charset), 0, 255));
    }
    else if (name == "Interior")
    {
        if (a.has("Color"))
            s.interior.color = parseColor(a.get("Color"));
        if (a.has("Pattern"))
            s.interior.pattern = patternFrom(a.get("Pattern"));
        if (a.has("PatternColor"))
            s.interior.patternColor = parseColor(a.get("PatternColor"));
    }
    else if (name == "NumberFormat")
        setNumberFormat(a.get("Format"), s);
    else if (name == "Protection")
    {
        if (a.has("Protected"))
            s.protection.locked = truthy(a.get("Protected"));
        if (a.has("HideFormula"))
            s.protection.hideFormula = truthy(a.get("HideFormula"));
    }
}

void XmlssHandler::addName(const XmlAttributes& a)
{
    model::DefinedName name;
    name.name = std::string(a.get("Name"));
    name.refersTo = std::string(a.get("RefersTo"));
    name.hidden = truthy(a.get("Hidden"));
    name.sheet = m_sheet;
    if (name.name.empty() || m_workbook.workbook.names.size() >= 65536)
        return;
    m_workbook.workbook.names.push_back(std::move(name));
}

void XmlssHandler::startTableElement(std::string_view name, const XmlAttributes& a)
{
    MemorySheet& current = *sheet();
    if (name == "Column")
    {
        const long long index = a.integer("Index", static_cast<long long>(m_nextColumn) + 1) - 1;
        const long long span = std::max<long long>(0, a.integer("Span", 0));
        if (index < static_cast<long long>(m_nextColumn) || index + span >= model::kMaxColumns)
            return;
        model::ColumnInfo column;
        column.first = static_cast<std::uint32_t>(index);
        column.last = static_cast<std::uint32_t>(index + span);
        column.width = a.number("Width", -1);
        column.hidden = truthy(a.get("Hidden"));
        column.style = styleIndex(a.get("StyleID"));
        column.autoFit = truthy(a.get("AutoFitWidth"));
        m_nextColumn = column.last + 1;
        if (current.header.columns.size() < model::kMaxColumns)
            current.header.columns.push_back(column);
    }
    else if (name == "Row")
    {
        const long long index = a.integer("Index", static_cast<long long>(m_nextRow) + 1) - 1;
        const long long span = std::max<long long>(0, a.integer("Span", 0));
        if (index + span >= model::kMaxRows)
        {
            fail(EngineErrc::LimitExceeded, "a row lies beyond the last row of a worksheet");
            return;
        }
        // Excel refuses rows that go backwards; so each row is counted once, however long its span.
        if (index < static_cast<long long>(m_nextRow))
        {
            fail(EngineErrc::DamagedFile, "a row comes before the row above it");
            return;
        }
        m_row = static_cast<std::uint32_t>(index);
        m_nextRow = static_cast<std::uint32_t>(index + span + 1);
        m_nextCol = 0;
        model::RowInfo row;
        row.height = a.number("Height", -1);
        row.customHeight = row.height >= 0 && !truthy(a.get("AutoFitHeight", "1"));
        row.hidden = truthy(a.get("Hidden"));
        row.style = styleIndex(a.get("StyleID"));
        m_rowStyle = row.style;
        if (row.height >= 0 || row.hidden || row.style >= 0)
        {
            for (long long r = index; r <= index + span; ++r)
            {
                row.row = static_cast<std::uint32_t>(r);
                current.addRow(row);
            }
        }
    }
    else if (name == "Cell")
        startCell(a);
    else if (!m_inCell)
        return;
    else if (name == "Data")
    {
        m_inData = true;
        m_rich.clear();
        if (!m_inComment)
            m_cellType = std::string(a.get("Type"));
    }
    else if (name == "Comment")
    {
        m_inComment = true;
        m_comment = {};
        m_comment.row = m_cell.row;
        m_comment.col = m_cell.col;
        m_comment.author = std::string(a.get("Author"));
        m_comment.shown = truthy(a.get("ShowAlways"));
    }
}

void XmlssHandler::startCell(const XmlAttributes& a)
{
    MemorySheet& current = *sheet();
    const long long col = a.integer("Index", static_cast<long long>(m_nextCol) + 1) - 1;
    const long long across = std::max<long long>(0, a.integer("MergeAcross", 0));
    const long long down = std::max<long long>(0, a.integer("MergeDown", 0));
    if (col + across >= model::kMaxColumns || m_row + down >= model::kMaxRows)
    {
        fail(EngineErrc::LimitExceeded, "a cell lies beyond the last column of a worksheet");
        return;
    }
    if (col < static_cast<long long>(m_nextCol))
    {
        fail(EngineErrc::DamagedFile, "a cell comes before the cell left of it");
        return;
    }
    m_inCell = true;
    m_cell = {};
    m_cell.row = m_row;
    m_cell.col = static_cast<std::uint32_t>(col);
    m_cell.style = a.has("StyleID") ? styleIndex(a.get("StyleID")) : m_rowStyle;
    m_nextCol = static_cast<std::uint32_t>(col + across + 1);
    m_cellType.clear();
    m_cellText.clear();
    m_cellRuns.clear();
    m_formula = std::string(a.get("Formula"));
    m_arrayRange = std::string(a.get("ArrayRange"));
    if (across > 0 || down > 0)
    {
        current.header.merges.push_back({m_row, m_cell.col, static_cast<std::uint32_t>(m_row + down),
                                         static_cast<std::uint32_t>(col + across)});
    }
    if (a.has("HRef"))
    {
        model::Hyperlink link;
        link.firstRow = link.lastRow = m_row;
        link.firstCol = link.lastCol = m_cell.col;
        link.href = std::string(a.get("HRef"));
        link.screenTip = std::string(a.get("HRefScreenTip"));
        current.header.hyperlinks.push_back(std::move(link));
    }
}

void XmlssHandler::endCell()
{
    m_inCell = false;
    model::Cell& cell = m_cell;
    cell.formula = m_formula;
    cell.arrayRange = m_arrayRange;
    if (m_cellType == "Number")
    {
        cell.type = xlsx::parseXmlNumber(m_cellText, cell.number) ? model::CellType::Number : model::CellType::String;
    }
    else if (m_cellType == "DateTime")
    {
        cell.type = parseDateTime(m_cellText, m_workbook.workbook.date1904, cell.number) ? model::CellType::Number
                                                                                        : model::CellType::String;
    }
    else if (m_cellType == "Boolean")
    {
        cell.type = model::CellType::Boolean;
        cell.boolean = m_cellText == "1" || m_cellText == "TRUE" || m_cellText == "True" || m_cellText == "true";
    }
    else if (m_cellType == "Error")
        cell.type = model::CellType::Error;
    else if (m_cellType == "String")
        cell.type = model::CellType::String;
    else
        cell.type = model::CellType::Blank;
    if (cell.type == model::CellType::String || cell.type == model::CellType::Error)
    {
        cell.text = m_cellText;
        cell.runs = m_cellRuns;
    }
    // An empty Cell element is kept too: the file names it, and writing it again keeps the file as it was.
    if (!sheet()->addCell(cell))
        fail(EngineErrc::LimitExceeded, "the workbook has more cells than can be converted");
}

void XmlssHandler::endElement(std::string_view name)
{
    const int depth = m_depth--;
    if (m_inData)
    {
        if (name == "Data" && depth > 0)
        {
            m_inData = false;
            if (m_rich.tooLong())
                fail(EngineErrc::LimitExceeded, "a cell holds more text than can be converted");
            if (m_inComment)
            {
                m_comment.text = m_rich.runs();
                if (m_comment.text.empty())
                    m_comment.text.push_back(model::TextRun{m_rich.plain(), false, {}});
            }
            else
            {
                m_cellText = m_rich.plain();
                m_cellRuns = m_rich.runs();
            }
        }
        else
            m_rich.close();
        return;
    }
    if (depth == m_sectionDepth && m_section != Section::None)
    {
        if (m_section == Section::DataValidation && sheet())
            sheet()->options.validations.push_back(std::move(m_validation));
        else if (m_section == Section::ConditionalFormatting && sheet())
            sheet()->options.conditionalFormats.push_back(std::move(m_condition));
        else if (m_section == Section::WorksheetOptions && sheet() && sheet()->options.paneKind == model::PaneKind::None &&
                 (sheet()->options.splitRows > 0 || sheet()->options.splitCols > 0))
            sheet()->options.paneKind = m_frozen ? model::PaneKind::Frozen : model::PaneKind::Split;
        m_section = Section::None;
        m_sectionDepth = 0;
        m_frozen = false;
        return;
    }
    if (name == "Worksheet" && depth == 2)
    {
        m_sheet = -1;
        return;
    }
    switch (m_section)
    {
    case Section::DocumentProperties:
    case Section::CustomProperties:
        endPropertyElement(name);
        break;
    case Section::ExcelWorkbook:
        endWorkbookElement(name);
        break;
    case Section::Styles:
        if (name == "Style" && !m_styleId.empty())
        {
            m_resolved[m_styleId] = m_style;
            if (m_styleId == "Default")
            {
                model::NamedStyle normal{"Normal", m_style, 0};
                if (m_workbook.workbook.namedStyles.empty())
                    m_workbook.workbook.namedStyles.push_back(normal);
                else
                    m_workbook.workbook.namedStyles.front() = normal;
                if (m_workbook.workbook.cellStyles.empty())
                    m_workbook.workbook.cellStyles.push_back(m_style);
                m_styleIds[m_styleId] = 0;
            }
            else
            {
                addDefaultStyles(m_workbook.workbook);
                if (!m_styleName.empty() && m_workbook.workbook.namedStyles.size() < 4096)
                    m_workbook.workbook.namedStyles.push_back({m_styleName, m_style, -1});
                const int index = m_styles.add(m_style);
                if (index >= 0)
                    m_styleIds[m_styleId] = index;
            }
        }
        break;
    case Section::Table:
        if (name == "Cell" && m_inCell)
            endCell();
        else if (name == "Comment" && m_inComment)
        {
            m_inComment = false;
            if (sheet()->header.comments.size() < 65536)
                sheet()->header.comments.push_back(std::move(m_comment));
        }
        break;
    case Section::WorksheetOptions:
        endOptionsElement(name);
        break;
    case Section::DataValidation:
        endValidationElement(name);
        break;
    case Section::ConditionalFormatting:
        endConditionElement(name);
        break;
    default:
        break;
    }
    m_text.clear();
}

void XmlssHandler::text(std::string_view piece)
{
    if (m_inData)
    {
        m_rich.text(piece);
        return;
    }
    if (m_text.size() + piece.size() <= kMaxTextLength)
        m_text.append(piece);
}

void XmlssHandler::endPropertyElement(std::string_view name)
{
    model::DocumentProperties& p = m_workbook.workbook.properties;
    if (m_section == Section::CustomProperties)
    {
        if (p.custom.size() < 4096)
            p.custom.push_back({std::string(name), model::CustomProperty::Type::String, m_text});
        return;
    }
    static const std::array<std::pair<std::string_view, std::string model::DocumentProperties::*>, 13> kFields{{
        {"Title", &model::DocumentProperties::title},
        {"Subject", &model::DocumentProperties::subject},
        {"Author", &model::DocumentProperties::author},
        {"Keywords", &model::DocumentProperties::keywords},
        {"Description", &model::DocumentProperties::description},
        {"LastAuthor", &model::DocumentProperties::lastAuthor},
        {"Category", &model::DocumentProperties::category},
        {"Manager", &model::DocumentProperties::manager},
        {"Company", &model::DocumentProperties::company},
        {"Created", &model::DocumentProperties::created},
        {"LastSaved", &model::DocumentProperties::lastSaved},
        {"LastPrinted", &model::DocumentProperties::lastPrinted},
        {"Version", &model::DocumentProperties::appVersion},
    }};
    for (const auto& [field, member] : kFields)
    {
        if (field == name)
            p.*member = m_text;
    }
}

void XmlssHandler::endWorkbookElement(std::string_view name)
{
    model::WorkbookInfo& w = m_workbook.workbook;
    auto number = [&](int fallback) {
        int value = fallback;
        auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
        return error == std::errc() && end == m_text.data() + m_text.size() ? value : fallback;
    };
    if (name == "WindowHeight")
        w.windowHeight = number(w.windowHeight);
    else if (name == "WindowWidth")
        w.windowWidth = number(w.windowWidth);
    else if (name == "WindowTopX")
        w.windowTopX = number(w.windowTopX);
    else if (name == "WindowTopY")
        w.windowTopY = number(w.windowTopY);
    else if (name == "TabRatio")
        w.tabRatio = number(w.tabRatio);
    else if (name == "ActiveSheet")
        w.activeSheet = std::max(0, number(0));
    else if (name == "FirstVisibleSheet")
        w.firstVisibleSheet = std::max(0, number(0));
    else if (name == "Date1904")
        w.date1904 = true;
    else if (name == "ProtectStructure")
        w.protectStructure = m_text != "False";
    else if (name == "ProtectWindows")
        w.protectWindows = m_text != "False";
}

void XmlssHandler::endOptionsElement(std::string_view name)
{
    model::SheetOptions& o = sheet()->options;
    auto number = [&]() {
        long long value = 0;
        auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
        return error == std::errc() && value >= 0 ? static_cast<std::uint32_t>(std::min<long long>(value, 1 << 30))
                                                  : 0u;
    };
    if (m_inPane)
    {
        if (name == "Number")
            m_selection.pane = static_cast<int>(std::min(number(), 3u));
        else if (name == "ActiveRow")
            m_selection.activeRow = std::min(number(), model::kMaxRows - 1);
        else if (name == "ActiveCol")
            m_selection.activeCol = std::min(number(), model::kMaxColumns - 1);
        else if (name == "RangeSelection")
            m_selection.rangeR1C1 = m_text;
        else if (name == "Pane")
        {
            m_inPane = false;
            if (o.selections.size() < 4)
                o.selections.push_back(m_selection);
        }
        return;
    }
    if (name == "Selected")
        o.selected = true;
    else if (name == "FreezePanes" || name == "FrozenNoSplit")
        m_frozen = true;
    else if (name == "SplitHorizontal")
        o.splitRows = number();
    else if (name == "SplitVertical")
        o.splitCols = number();
    else if (name == "TopRowBottomPane")
        o.topRowBottomPane = std::min(number(), model::kMaxRows - 1);
    else if (name == "LeftColumnRightPane")
        o.leftColRightPane = std::min(number(), model::kMaxColumns - 1);
    else if (name == "ActivePane")
        o.activePane = static_cast<int>(std::min(number(), 3u));
    else if (name == "TopRowVisible")
        o.topRowVisible = std::min(number(), model::kMaxRows - 1);
    else if (name == "LeftColumnVisible")
        o.leftColVisible = std::min(number(), model::kMaxColumns - 1);
    else if (name == "DoNotDisplayGridlines")
        o.showGridlines = false;
    else if (name == "DoNotDisplayHeadings")
        o.showRowColHeaders = false;
    else if (name == "DoNotDisplayZeros")
        o.showZeros = false;
    else if (name == "DisplayRightToLeft")
        o.rightToLeft = true;
    else if (name == "Zoom")
        o.zoom = static_cast<int>(std::clamp(number(), 10u, 400u));
    else if (name == "ShowPageBreakZoom")
        o.pageBreakPreview = true;
    else if (name == "ProtectContents")
        o.protectContents = m_text != "False";
    else if (name == "ProtectObjects")
        o.protectObjects = m_text != "False";
    else if (name == "ProtectScenarios")
        o.protectScenarios = m_text != "False";
    else if (name == "TabColorIndex")
        o.tabColorIndex = std::min(number(), 80u);
    else if (name == "Visible" && sheet())
    {
        auto& entry = m_workbook.workbook.sheets[static_cast<std::size_t>(m_sheet)];
        if (m_text == "SheetHidden")
            entry.visibility = model::Visibility::Hidden;
        else if (m_text == "SheetVeryHidden")
            entry.visibility = model::Visibility::VeryHidden;
    }
}

void XmlssHandler::endValidationElement(std::string_view name)
{
    model::DataValidation& v = m_validation;
    if (name == "Range")
        v.rangeR1C1 = m_text;
    else if (name == "Type")
        v.type = m_text;
    else if (name == "Qualifier")
        v.qualifier = m_text;
    else if (name == "Value")
        v.value = m_text;
    else if (name == "Min")
        v.min = m_text;
    else if (name == "Max")
        v.max = m_text;
    else if (name == "UseBlank")
        v.allowBlank = false;
    else if (name == "ComboHide")
        v.suppressDropDown = true;
    else if (name == "InputHide")
        v.showInput = false;
    else if (name == "ErrorHide")
        v.showError = false;
    else if (name == "InputTitle")
        v.inputTitle = m_text;
    else if (name == "InputMessage")
        v.inputMessage = m_text;
    else if (name == "ErrorTitle")
        v.errorTitle = m_text;
    else if (name == "ErrorMessage")
        v.errorMessage = m_text;
    else if (name == "ErrorStyle")
        v.errorStyle = m_text;
}

void XmlssHandler::endConditionElement(std::string_view name)
{
    if (name == "Range")
        m_condition.rangeR1C1 = m_text;
    else if (name == "Qualifier")
        m_rule.qualifier = m_text;
    else if (name == "Value1")
        m_rule.value1 = m_text;
    else if (name == "Value2")
        m_rule.value2 = m_text;
    else if (name == "Condition" && m_condition.rules.size() < 64)
        m_condition.rules.push_back(std::move(m_rule));
}

bool allowedInXml(unsigned long code)
{
    return code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
           (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
}

// Excel writes characters XML 1.0 forbids (a cell holding CHAR(7)) as character references, which expat refuses;
// they are left out, as the writer leaves them out.
std::string withoutForbiddenReferences(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size())
    {
        const std::size_t amp = text.find("&#", at);
        if (amp == std::string_view::npos)
            break;
        out.append(text.substr(at, amp - at));
        std::size_t digits = amp + 2;
        const bool hex = digits < text.size() && (text[digits] == 'x' || text[digits] == 'X');
        if (hex)
            ++digits;
        unsigned long code = 0;
        std::size_t end = digits;
        while (end < text.size() && end - digits < 8 && std::isxdigit(static_cast<unsigned char>(text[end])) &&
               (hex || std::isdigit(static_cast<unsigned char>(text[end]))))
        {
            code = code * (hex ? 16 : 10) +
                   static_cast<unsigned long>(std::isdigit(static_cast<unsigned char>(text[end]))
                                                  ? text[end] - '0'
                                                  : (std::tolower(static_cast<unsigned char>(text[end])) - 'a' + 10));
            ++end;
        }
        if (end > digits && end < text.size() && text[end] == ';' && !allowedInXml(code))
        {
            at = end + 1;
            continue;
        }
        out.append(text.substr(amp, 2));
        at = amp + 2;
    }
    out.append(text.substr(std::min(at, text.size())));
    return out;
}

} // namespace

bool looksLikeXmlSpreadsheet(std::string_view text)
{
    const std::string_view head = text.substr(0, 8192);
    const std::size_t root = head.find("<Workbook");
    const std::size_t prefixed = head.find(":Workbook");
    return (root != std::string_view::npos || prefixed != std::string_view::npos) &&
           head.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string_view::npos;
}

Status readXmlSpreadsheet(std::string_view text, MemoryWorkbook& workbook)
{
    XmlssHandler handler(workbook);
    const std::string cleaned = withoutForbiddenReferences(text);
    if (Status status = xlsx::parseXml(cleaned, handler, "the XML Spreadsheet"); !status)
        return status;
    if (!handler.sawWorkbook())
        return {EngineErrc::DamagedFile, "the XML Spreadsheet has no Workbook element"};
    addDefaultStyles(workbook.workbook);
    if (workbook.sheets.empty())
        return {EngineErrc::DamagedFile, "the XML Spreadsheet holds no worksheet"};
    auto& w = workbook.workbook;
    const int count = static_cast<int>(w.sheets.size());
    w.activeSheet = std::min(w.activeSheet, count - 1);
    w.firstVisibleSheet = std::min(w.firstVisibleSheet, count - 1);
    return {};
}

} // namespace velquin::engine::text
