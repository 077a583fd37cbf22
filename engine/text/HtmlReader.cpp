// Web pages into one worksheet, with libxml2's HTML parser in SAX mode (no document tree, no recursion).
#include "engine/text/HtmlReader.h"

#include "engine/Deadline.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/text/CssStyle.h"
#include "engine/text/StylePool.h"
#include "engine/text/TextReader.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <libxml/HTMLparser.h>
#include <libxml/parserInternals.h>
#include <limits>
#include <memory>
#include <unordered_map>

namespace velquin::engine::text {

namespace {

constexpr std::size_t kMaxCellText = 1 << 20;  ///< characters kept of one cell
constexpr std::size_t kMaxStyleText = 4 << 20; ///< characters kept of the page's style sheets
constexpr std::uint32_t kMaxColspan = 1000;    ///< browsers cut colspan to this
constexpr std::uint32_t kMaxRowspan = 65534;   ///< and rowspan to this
constexpr std::size_t kMaxStyleKeys = 65536;
constexpr int kMaxStyleLinks = 8; ///< linked style sheets read per page

std::string_view attribute(const xmlChar** attributes, std::string_view name, bool* present = nullptr)
{
    if (present)
        *present = false;
    for (const xmlChar** p = attributes; p && *p; p += 2)
    {
        const auto* key = reinterpret_cast<const char*>(p[0]);
        if (std::strlen(key) == name.size() && strncasecmp(key, name.data(), name.size()) == 0)
        {
            if (present)
                *present = true;
            return p[1] ? std::string_view(reinterpret_cast<const char*>(p[1])) : std::string_view();
        }
    }
    return {};
}

std::uint32_t spanOf(std::string_view value, std::uint32_t limit)
{
    long long span = 0;
    for (char c : value)
    {
        if (c < '0' || c > '9')
            break;
        span = std::min<long long>(span * 10 + (c - '0'), limit);
    }
    return span < 1 ? 1u : static_cast<std::uint32_t>(span);
}

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// White space collapsed as a browser shows it; no spaces at the ends or around line breaks.
std::string collapsed(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool space = false;
    for (char c : text)
    {
        if (isSpace(c))
        {
            space = true;
            continue;
        }
        if (c == '\x01') // a <br>
        {
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            out += '\n';
            space = false;
            continue;
        }
        if (space && !out.empty() && out.back() != '\n')
            out += ' ';
        space = false;
        out += c;
    }
    return out;
}

struct OpenCell
{
    bool open = false;
    std::uint32_t row = 0, col = 0, colspan = 1, rowspan = 1;
    bool header = false;
    bool ignoreColspan = false;
    std::string text;
    std::string styleKey;
    std::string className, style, align, valign, bgcolor;
    bool hasNum = false, hasStr = false, hasBool = false, hasErr = false;
    std::string num, str, boolean, err, formula;
    std::string href;
    int bold = 0, italic = 0, underline = 0;
};

class HtmlSheetBuilder
{
public:
    HtmlSheetBuilder(MemoryWorkbook& workbook, MemorySheet& sheet, DateOrder order, const PageLoader& loader,
                     std::string_view documentHref)
        : m_workbook(workbook), m_sheet(sheet), m_styles(workbook.workbook), m_order(order), m_loader(loader),
          m_documentHref(documentHref)
    {
    }

    void start(std::string_view name, const xmlChar** attributes);
    void end(std::string_view name);
    void characters(std::string_view text);
    void comment(std::string_view text);

    void finish();
    const std::string& sheetName() const { return m_sheetName; }
    Status failure() const { return m_failure; }
    bool failed() const { return !m_failure; }

private:
    void startTable();
    void endTable();
    void startRow(const xmlChar** attributes);
    void endRow();
    void startCell(std::string_view name, const xmlChar** attributes);
    void endCell();
    void addColumn(const xmlChar** attributes);
    void linkStyleSheet(const xmlChar** attributes);
    void flushLooseText();
    int cellStyle(const OpenCell& cell);
    void addCell(model::Cell& cell);
    void fail(EngineErrc code, const char* detail)
    {
        if (m_failure)
            m_failure = {code, detail};
    }

    MemoryWorkbook& m_workbook;
    MemorySheet& m_sheet;
    StylePool m_styles;
    DateOrder m_order;
    const PageLoader& m_loader;
    std::string_view m_documentHref;
    int m_styleLinks = 0;
    CssStyleSheet m_css;
    std::string m_styleText;
    bool m_inStyle = false, m_inTitle = false, m_inScript = false;
    bool m_baseReady = false;
    bool m_excelPage = false;
    model::CellStyle m_tdBase;
    std::unordered_map<std::string, int> m_styleByKey;
    std::string m_sheetName;
    Status m_failure;

    int m_tableDepth = 0;
    std::uint32_t m_nextRow = 0;      ///< first free row of the sheet
    std::uint32_t m_tableEnd = 0;     ///< first row below everything the open table covers
    std::uint32_t m_row = 0;          ///< the open table row
    bool m_rowOpen = false;
    bool m_anyRow = false; ///< the open table has had a row
    bool m_rowHidden = false;
    bool m_rowHasCells = false;
    model::RowInfo m_pendingRow;
    std::uint32_t m_nextCol = 0;
    std::uint32_t m_nextColumnInfo = 0;
    bool m_acceptColumns = true;
    std::vector<std::uint32_t> m_busyUntil; ///< per column: the first row a rowspan leaves free
    OpenCell m_cell;
    std::string m_loose; ///< text outside tables, written as a row when its block ends
};

void HtmlSheetBuilder::start(std::string_view name, const xmlChar** attributes)
{
    if (name == "style")
        m_inStyle = true;
    else if (name == "script")
        m_inScript = true;
    else if (name == "title")
        m_inTitle = true;
    else if (name == "link")
        linkStyleSheet(attributes);
    else if (name == "meta")
    {
        if (strncasecmp(std::string(attribute(attributes, "content")).c_str(), "Excel.Sheet", 11) == 0)
            m_excelPage = true;
    }
    else if (name == "table")
        startTable();
    else if (m_tableDepth == 1 && name == "tr")
        startRow(attributes);
    else if (m_tableDepth == 1 && (name == "td" || name == "th"))
        startCell(name, attributes);
    else if (m_tableDepth == 1 && name == "col")
        addColumn(attributes);
    else if (name == "br")
    {
        if (m_cell.open)
            m_cell.text += '\x01';
        else if (m_tableDepth == 0)
            flushLooseText();
    }
    else if (m_cell.open)
    {
        if (name == "a" && m_cell.href.empty())
            m_cell.href = std::string(attribute(attributes, "href"));
        else if (name == "b" || name == "strong")
            ++m_cell.bold;
        else if (name == "i" || name == "em")
            ++m_cell.italic;
        else if (name == "u")
            ++m_cell.underline;
        else if (name == "p" || name == "div" || name == "li")
        {
            if (!m_cell.text.empty())
                m_cell.text += ' ';
        }
    }
    else if (m_tableDepth == 0 && (name == "p" || name == "div" || name == "li" || name == "tr" ||
                                   (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')))
        flushLooseText();
}

void HtmlSheetBuilder::end(std::string_view name)
{
    if (name == "style")
    {
        m_inStyle = false;
        return;
    }
    if (name == "script")
        m_inScript = false;
    else if (name == "title")
        m_inTitle = false;
    else if (name == "table")
        endTable();
    else if (m_tableDepth == 1 && (name == "td" || name == "th"))
        endCell();
    else if (m_tableDepth == 1 && name == "tr")
    {
        if (m_cell.open)
            endCell();
        endRow();
    }
    else if (m_tableDepth == 0 && (name == "p" || name == "div" || name == "li" || name == "body" ||
                                   (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')))
        flushLooseText();
}

void HtmlSheetBuilder::characters(std::string_view text)
{
    if (m_inStyle)
    {
        if (m_styleText.size() + text.size() <= kMaxStyleText)
            m_styleText.append(text);
        return;
    }
    if (m_inScript || m_inTitle)
        return;
    if (m_cell.open)
    {
        if (m_cell.text.size() + text.size() <= kMaxCellText)
            m_cell.text.append(text);
        return;
    }
    if (m_tableDepth == 0 && m_loose.size() + text.size() <= kMaxCellText)
        m_loose.append(text);
}

// A page saved as several files keeps its styles in a style sheet of its own (stylesheet.css), which comes before
// the page's own <style> in the cascade. One that cannot be read leaves the page's own styles.
void HtmlSheetBuilder::linkStyleSheet(const xmlChar** attributes)
{
    std::string rel(attribute(attributes, "rel"));
    std::transform(rel.begin(), rel.end(), rel.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string_view href = attribute(attributes, "href");
    if (!m_loader || m_baseReady || rel.find("stylesheet") == std::string::npos || href.empty() ||
        m_styleLinks >= kMaxStyleLinks || m_styleText.size() >= kMaxStyleText)
        return;
    ++m_styleLinks;
    std::string css;
    if (m_loader(href, m_documentHref, kMaxStyleText - m_styleText.size(), css) &&
        m_styleText.size() + css.size() < kMaxStyleText)
        m_styleText.append(css).append("\n");
}

// Excel keeps the worksheet's name in an XML island inside a conditional comment.
void HtmlSheetBuilder::comment(std::string_view text)
{
    const std::size_t sheet = text.find("<x:ExcelWorksheet>");
    if (sheet == std::string_view::npos || !m_sheetName.empty())
        return;
    const std::size_t open = text.find("<x:Name>", sheet);
    const std::size_t close = text.find("</x:Name>", sheet);
    if (open != std::string_view::npos && close != std::string_view::npos && open < close)
        m_sheetName = std::string(text.substr(open + 8, close - open - 8));
}

void HtmlSheetBuilder::startTable()
{
    ++m_tableDepth;
    if (m_tableDepth != 1)
    {
        if (m_cell.open)
            m_cell.text += ' ';
        return;
    }
    flushLooseText();
    m_tableEnd = m_nextRow;
    m_row = m_nextRow;
    m_rowOpen = false;
    m_anyRow = false;
    m_nextColumnInfo = 0;
    // Column widths come from the first table that gives them.
    m_acceptColumns = m_sheet.header.columns.empty();
    m_busyUntil.clear();
}

void HtmlSheetBuilder::endTable()
{
    if (m_tableDepth == 0)
        return;
    if (--m_tableDepth != 0)
        return;
    if (m_cell.open)
        endCell();
    endRow();
    m_nextRow = std::max(m_nextRow, m_tableEnd);
}

void HtmlSheetBuilder::startRow(const xmlChar** attributes)
{
    if (m_cell.open)
        endCell();
    endRow();
    m_row = m_anyRow ? m_row + 1 : m_nextRow;
    m_anyRow = true;
    m_rowOpen = true;
    m_nextCol = 0;
    if (m_row >= model::kMaxRows)
    {
        fail(EngineErrc::LimitExceeded, "the page's tables have more rows than a worksheet");
        return;
    }
    const CssDeclarations style = parseCssDeclarations(attribute(attributes, "style"));
    m_rowHidden = cssValue(style, "display") == "none";
    model::RowInfo row;
    row.row = m_row;
    double height = cssPoints(cssValue(style, "height"));
    if (height < 0)
        height = cssPoints(attribute(attributes, "height"));
    if (height >= 0 && height <= 409 && m_excelPage)
    {
        row.height = height;
        row.customHeight = cssValue(style, "mso-height-source") == "userset";
    }
    row.hidden = m_rowHidden;
    m_pendingRow = row;
    m_rowHasCells = false;
}

// A hidden row without cells is left out: Excel's pages end their tables with one (for browsers that misalign
// columns), which is no row of the worksheet.
void HtmlSheetBuilder::endRow()
{
    if (!m_rowOpen)
        return;
    m_tableEnd = std::max(m_tableEnd, m_row + 1);
    m_rowOpen = false;
    if ((m_pendingRow.height >= 0 && !m_pendingRow.hidden) || (m_pendingRow.hidden && m_rowHasCells))
        m_sheet.addRow(m_pendingRow);
}

void HtmlSheetBuilder::addColumn(const xmlChar** attributes)
{
    const std::uint32_t span = spanOf(attribute(attributes, "span"), kMaxColspan);
    if (!m_acceptColumns || m_nextColumnInfo + span > model::kMaxColumns)
        return;
    const CssDeclarations style = parseCssDeclarations(attribute(attributes, "style"));
    model::ColumnInfo column;
    column.first = m_nextColumnInfo;
    column.last = m_nextColumnInfo + span - 1;
    m_nextColumnInfo += span;
    column.width = cssPoints(cssValue(style, "width"));
    if (column.width < 0)
        column.width = cssPoints(attribute(attributes, "width"));
    column.hidden = cssValue(style, "display") == "none";
    if (column.width >= 0 || column.hidden)
        m_sheet.header.columns.push_back(column);
}

void HtmlSheetBuilder::startCell(std::string_view name, const xmlChar** attributes)
{
    if (m_cell.open)
        endCell();
    if (!m_rowOpen)
    {
        startRow(nullptr);
        if (!m_failure)
            return;
    }
    std::uint32_t col = m_nextCol;
    while (col < m_busyUntil.size() && m_busyUntil[col] > m_row)
        ++col;
    OpenCell cell;
    cell.open = true;
    cell.row = m_row;
    cell.col = col;
    cell.header = name == "th";
    cell.colspan = spanOf(attribute(attributes, "colspan"), kMaxColspan);
    cell.rowspan = spanOf(attribute(attributes, "rowspan"), kMaxRowspan);
    cell.style = std::string(attribute(attributes, "style"));
    cell.className = std::string(attribute(attributes, "class"));
    cell.align = std::string(attribute(attributes, "align"));
    cell.valign = std::string(attribute(attributes, "valign"));
    cell.bgcolor = std::string(attribute(attributes, "bgcolor"));
    cell.ignoreColspan = cell.style.find("mso-ignore:colspan") != std::string::npos;
    cell.num = std::string(attribute(attributes, "x:num", &cell.hasNum));
    cell.str = std::string(attribute(attributes, "x:str", &cell.hasStr));
    cell.boolean = std::string(attribute(attributes, "x:bool", &cell.hasBool));
    cell.err = std::string(attribute(attributes, "x:err", &cell.hasErr));
    cell.formula = std::string(attribute(attributes, "x:fmla"));
    if (col >= model::kMaxColumns)
    {
        fail(EngineErrc::LimitExceeded, "a table has more columns than a worksheet");
        return;
    }
    cell.colspan = std::min(cell.colspan, model::kMaxColumns - col);
    cell.rowspan = std::min(cell.rowspan, model::kMaxRows - m_row);
    const std::uint32_t lastCol = col + cell.colspan - 1;
    if (m_busyUntil.size() <= lastCol)
        m_busyUntil.resize(lastCol + 1, 0);
    if (cell.rowspan > 1 || !cell.ignoreColspan)
    {
        const std::uint32_t covered = cell.ignoreColspan ? col : lastCol;
        for (std::uint32_t c = col; c <= covered; ++c)
            m_busyUntil[c] = std::max(m_busyUntil[c], m_row + cell.rowspan);
    }
    m_tableEnd = std::max(m_tableEnd, m_row + cell.rowspan);
    m_nextCol = lastCol + 1;
    m_cell = std::move(cell);
}

int HtmlSheetBuilder::cellStyle(const OpenCell& cell)
{
    if (!m_baseReady)
    {
        model::CellStyle normal;
        normal.font.name = m_excelPage ? "Calibri" : "Times New Roman";
        normal.font.size = m_excelPage ? 11 : 12;
        if (m_styleText.size())
            m_css.add(m_styleText);
        if (const CssDeclarations* rule = m_css.find(".style0"))
            applyCss(*rule, normal);
        normal.protection.locked = true;
        // The workbook's Normal style is the first sheet's; the sheets of a multi-file page share one style sheet.
        auto& info = m_workbook.workbook;
        if (info.cellStyles.empty())
        {
            info.namedStyles.clear();
            info.namedStyles.push_back({"Normal", normal, 0});
            info.cellStyles.push_back(normal);
        }
        m_tdBase = normal;
        if (const CssDeclarations* rule = m_css.find("td"))
            applyCss(*rule, m_tdBase);
        m_baseReady = true;
    }
    std::string key = cell.className;
    key += '\x1F';
    key += cell.style;
    key += '\x1F';
    key += cell.align;
    key += '\x1F';
    key += cell.valign;
    key += '\x1F';
    key += cell.bgcolor;
    key += cell.header ? 'h' : 'd';
    key += cell.bold > 0 ? 'b' : '-';
    key += cell.italic > 0 ? 'i' : '-';
    key += cell.underline > 0 ? 'u' : '-';
    const auto found = m_styleByKey.find(key);
    if (found != m_styleByKey.end())
        return found->second;
    model::CellStyle style = m_tdBase;
    if (cell.header)
    {
        style.font.bold = true;
        style.alignment.horizontal = model::Horizontal::Center;
    }
    if (!cell.align.empty())
        applyCss({{"text-align", cell.align}}, style);
    if (!cell.valign.empty())
        applyCss({{"vertical-align", cell.valign}}, style);
    if (!cell.bgcolor.empty())
        applyCss({{"background", cell.bgcolor}}, style);
    std::size_t at = 0;
    while (at < cell.className.size())
    {
        std::size_t end = cell.className.find(' ', at);
        if (end == std::string::npos)
            end = cell.className.size();
        if (end > at)
        {
            if (const CssDeclarations* rule = m_css.find("." + cell.className.substr(at, end - at)))
                applyCss(*rule, style);
        }
        at = end + 1;
    }
    applyCss(parseCssDeclarations(cell.style), style);
    if (cell.bold > 0)
        style.font.bold = true;
    if (cell.italic > 0)
        style.font.italic = true;
    if (cell.underline > 0 && style.font.underline == model::Underline::None)
        style.font.underline = model::Underline::Single;
    int index = m_styles.add(style);
    if (index < 0)
        index = 0;
    if (m_styleByKey.size() < kMaxStyleKeys)
        m_styleByKey.emplace(std::move(key), index);
    return index;
}

void HtmlSheetBuilder::addCell(model::Cell& cell)
{
    m_rowHasCells = true;
    if (!m_sheet.addCell(cell))
        fail(EngineErrc::LimitExceeded, "the page has more cells than can be converted");
}

void HtmlSheetBuilder::endCell()
{
    OpenCell cell = std::move(m_cell);
    m_cell = {};
    const std::string text = collapsed(cell.text);
    model::Cell out;
    out.row = cell.row;
    out.col = cell.col;
    out.style = cellStyle(cell);
    const model::CellStyle style = m_workbook.workbook.cellStyles[static_cast<std::size_t>(out.style)];
    std::string formula;
    if (!cell.formula.empty() && cell.formula.front() == '=')
    {
        formula = formula::toR1C1Formula(std::string_view(cell.formula).substr(1), cell.row, cell.col);
        out.formula = formula;
    }
    // A cell of nothing but no-break spaces (&nbsp;) is empty.
    std::string value = text.find_first_not_of("\xC2\xA0 ") == std::string::npos ? std::string() : text;
    if (cell.hasStr && !cell.str.empty())
        value = cell.str;
    if (cell.hasNum && !cell.num.empty())
    {
        TypedValue typed = typeValue(cell.num, DateOrder::MonthDayYear);
        out.type = typed.type == model::CellType::Number ? model::CellType::Number : model::CellType::String;
        out.number = typed.number;
        if (out.type == model::CellType::String)
            out.text = text;
    }
    else if (cell.hasBool)
    {
        out.type = model::CellType::Boolean;
        out.boolean = strncasecmp((cell.boolean.empty() ? text : cell.boolean).c_str(), "TRUE", 4) == 0;
    }
    else if (cell.hasErr)
    {
        out.type = model::CellType::Error;
        value = cell.err.empty() ? text : cell.err;
        out.text = value;
    }
    else if (cell.hasStr || style.numberFormatId == 49 || value.empty())
    {
        out.type = value.empty() ? model::CellType::Blank : model::CellType::String;
        out.text = value;
    }
    else
    {
        const TypedValue typed = typeValue(value, m_order);
        out.type = typed.type;
        out.number = typed.number;
        out.boolean = typed.boolean;
        out.text = typed.type == model::CellType::Error ? typed.error : std::string_view(value);
        // A typed-in percentage or date gets its format unless the cell has one.
        if (typed.formatId != 0 && style.numberFormatId == 0)
        {
            const model::CellStyle base = style;
            if (const int formatted = m_styles.withFormat(base, typed.formatId); formatted >= 0)
                out.style = formatted;
        }
    }
    if (!cell.ignoreColspan && (cell.colspan > 1 || cell.rowspan > 1) && m_sheet.header.merges.size() < 1000000)
        m_sheet.header.merges.push_back({cell.row, cell.col, cell.row + cell.rowspan - 1, cell.col + cell.colspan - 1});
    else if (cell.ignoreColspan && cell.rowspan > 1 && m_sheet.header.merges.size() < 1000000)
        m_sheet.header.merges.push_back({cell.row, cell.col, cell.row + cell.rowspan - 1, cell.col});
    if (!cell.href.empty() && m_sheet.header.hyperlinks.size() < 1000000)
    {
        model::Hyperlink link;
        link.firstRow = link.lastRow = cell.row;
        link.firstCol = link.lastCol = cell.col;
        link.href = cell.href;
        m_sheet.header.hyperlinks.push_back(std::move(link));
    }
    if (out.type == model::CellType::Blank && out.formula.empty() && out.style == 0)
        return;
    if (m_rowHidden && out.type == model::CellType::Blank)
        return;
    addCell(out);
}

void HtmlSheetBuilder::flushLooseText()
{
    const std::string text = collapsed(m_loose);
    m_loose.clear();
    if (text.empty() || text == "\xC2\xA0" || text == "\xC2\xA0\xC2\xA0")
        return;
    if (m_nextRow >= model::kMaxRows)
    {
        fail(EngineErrc::LimitExceeded, "the page has more rows than a worksheet");
        return;
    }
    OpenCell none;
    model::Cell cell;
    cell.row = m_nextRow++;
    cell.col = 0;
    cell.style = cellStyle(none);
    cell.type = model::CellType::String;
    cell.text = text;
    addCell(cell);
}

void HtmlSheetBuilder::finish()
{
    if (m_cell.open)
        endCell();
    flushLooseText();
    if (!m_baseReady)
        cellStyle(OpenCell{});
}

struct ParseState
{
    HtmlSheetBuilder* builder = nullptr;
    htmlParserCtxtPtr context = nullptr;
    std::size_t events = 0;
    Status deadline;
};

void checkProgress(ParseState& state)
{
    if (++state.events % 16384 == 0 && state.deadline)
        state.deadline = checkDeadline();
    if ((!state.deadline || state.builder->failed()) && state.context)
        xmlStopParser(state.context);
}

void onStart(void* data, const xmlChar* name, const xmlChar** attributes)
{
    auto& state = *static_cast<ParseState*>(data);
    state.builder->start(reinterpret_cast<const char*>(name), attributes);
    checkProgress(state);
}

void onEnd(void* data, const xmlChar* name)
{
    auto& state = *static_cast<ParseState*>(data);
    state.builder->end(reinterpret_cast<const char*>(name));
    checkProgress(state);
}

void onCharacters(void* data, const xmlChar* text, int length)
{
    auto& state = *static_cast<ParseState*>(data);
    state.builder->characters({reinterpret_cast<const char*>(text), static_cast<std::size_t>(std::max(length, 0))});
    checkProgress(state);
}

void onComment(void* data, const xmlChar* text)
{
    auto& state = *static_cast<ParseState*>(data);
    state.builder->comment(reinterpret_cast<const char*>(text));
}

void ignoreMessage(void*, const char*, ...) {}

struct ContextDeleter
{
    void operator()(htmlParserCtxt* context) const
    {
        if (context->myDoc)
            xmlFreeDoc(context->myDoc);
        context->myDoc = nullptr;
        htmlFreeParserCtxt(context);
    }
};

} // namespace

bool looksLikeHtml(std::string_view text)
{
    std::size_t at = 0;
    for (;;)
    {
        while (at < text.size() && isSpace(text[at]))
            ++at;
        if (text.substr(at, 4) == "<!--")
        {
            const std::size_t end = text.find("-->", at + 4);
            if (end == std::string_view::npos)
                return false;
            at = end + 3;
            continue;
        }
        break;
    }
    if (at >= text.size() || text[at] != '<')
        return false;
    std::string head(text.substr(at, 16));
    std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (std::string_view tag : {"<!doctype html", "<html", "<head", "<body", "<table", "<meta", "<title", "<style", "<div",
                                 "<p>", "<h1", "<tr", "<td"})
    {
        if (head.rfind(tag, 0) == 0)
            return true;
    }
    return false;
}

namespace {

std::string unescapeXml(std::string_view text)
{
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (std::size_t at = 0; at < text.size();)
    {
        bool replaced = false;
        for (const auto& [entity, character] : kEntities)
            if (text.substr(at, entity.size()) == entity)
            {
                out += character;
                at += entity.size();
                replaced = true;
                break;
            }
        if (!replaced)
            out += text[at++];
    }
    return out;
}

/// The value of attribute `name` in the XML tag `tag`: quoted with " or ', or up to white space or the tag's end.
std::string tagAttribute(std::string_view tag, std::string_view name)
{
    std::string lower(tag);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::size_t at = lower.find(std::string(name) + "=");
    if (at == std::string::npos)
        return {};
    at += name.size() + 1;
    if (at < tag.size() && (tag[at] == '"' || tag[at] == '\''))
    {
        const std::size_t end = tag.find(tag[at], at + 1);
        return end == std::string_view::npos ? std::string() : unescapeXml(tag.substr(at + 1, end - at - 1));
    }
    std::size_t end = at;
    while (end < tag.size() && !isSpace(tag[end]) && tag[end] != '/' && tag[end] != '>')
        ++end;
    return unescapeXml(tag.substr(at, end - at));
}

Status readPage(std::string_view text, std::string_view name, bool nameIsFinal, DateOrder order,
                MemoryWorkbook& workbook, const PageLoader& loader, std::string_view documentHref)
{
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return {EngineErrc::LimitExceeded, "the page is too large"};
    MemorySheet& sheet = workbook.addSheet(name);
    HtmlSheetBuilder builder(workbook, sheet, order, loader, documentHref);
    std::unique_ptr<htmlParserCtxt, ContextDeleter> context(
        htmlCreateMemoryParserCtxt(text.empty() ? "" : text.data(), static_cast<int>(text.size())));
    if (!context)
        return {EngineErrc::OutOfMemory, "the HTML parser"};
    htmlSAXHandler sax{};
    sax.startElement = onStart;
    sax.endElement = onEnd;
    sax.characters = onCharacters;
    sax.cdataBlock = onCharacters;
    sax.comment = onComment;
    sax.warning = ignoreMessage;
    sax.error = ignoreMessage;
    std::memcpy(context->sax, &sax, sizeof sax);
    ParseState state;
    state.builder = &builder;
    state.context = context.get();
    context->userData = &state;
    htmlCtxtUseOptions(context.get(), HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                          HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC | HTML_PARSE_NODEFDTD);
    xmlSwitchEncoding(context.get(), XML_CHAR_ENCODING_UTF8);
    htmlParseDocument(context.get());
    if (!state.deadline)
        return state.deadline;
    if (!builder.failure())
        return builder.failure();
    builder.finish();
    if (!builder.failure())
        return builder.failure();
    if (!nameIsFinal && !builder.sheetName().empty())
    {
        std::vector<model::SheetEntry> others(workbook.workbook.sheets.begin(), workbook.workbook.sheets.end() - 1);
        const std::string unique = sheetNameFrom(builder.sheetName(), others);
        workbook.workbook.sheets.back().name = unique;
        sheet.header.name = unique;
    }
    return {};
}

// Excel's sheet files hold downlevel-revealed conditionals (<![if !supportTabStrip]> ... <![endif]>), markup to a
// browser but text to an HTML parser, which would put them in rows above the sheet's cells; they are blanked out,
// leaving what they enclose.
void blankRevealedConditionals(std::string& page)
{
    std::size_t at = 0;
    while ((at = page.find("<![", at)) != std::string::npos)
    {
        // <![if ...]> or <![endif]>, but not the end of a conditional comment, <![endif]-->. Conditions are short;
        // looking no further keeps a page of unclosed "<![" linear.
        const std::string_view near = std::string_view(page).substr(at, 256);
        const std::size_t close = near.find('>');
        const std::string_view tag = near.substr(0, close == std::string_view::npos ? 0 : close + 1);
        if (tag.size() < 6 || tag[tag.size() - 2] != ']' || (tag.rfind("<![if ", 0) != 0 && tag != "<![endif]>"))
        {
            at += 3;
            continue;
        }
        std::fill_n(page.begin() + static_cast<std::ptrdiff_t>(at), tag.size(), ' ');
        at += tag.size();
    }
}

// The workbook's window and document properties as Excel's islands keep them in the (main) page:
// <x:ExcelWorkbook> with x:WindowHeight, x:ActiveSheet..., and <o:DocumentProperties>.
class WorkbookIslandHandler : public xlsx::XmlHandler
{
public:
    explicit WorkbookIslandHandler(model::WorkbookInfo& info) : m_info(info) {}

    void startElement(std::string_view, const xlsx::XmlAttributes&) override
    {
        ++m_depth;
        m_text.clear();
    }

    void endElement(std::string_view name) override
    {
        if (m_depth-- != 2)
            return;
        auto number = [&](int& field) {
            int value = 0;
            auto [end, error] = std::from_chars(m_text.data(), m_text.data() + m_text.size(), value);
            if (error == std::errc() && end == m_text.data() + m_text.size())
                field = value;
        };
        model::WorkbookInfo& w = m_info;
        if (name == "WindowHeight")
            number(w.windowHeight);
        else if (name == "WindowWidth")
            number(w.windowWidth);
        else if (name == "WindowTopX")
            number(w.windowTopX);
        else if (name == "WindowTopY")
            number(w.windowTopY);
        else if (name == "TabRatio")
            number(w.tabRatio);
        else if (name == "ActiveSheet")
            number(w.activeSheet);
        else if (name == "FirstVisibleSheet")
            number(w.firstVisibleSheet);
        else if (name == "ProtectStructure")
            w.protectStructure = m_text != "False";
        else if (name == "ProtectWindows")
            w.protectWindows = m_text != "False";
        // The document's properties; not its Version, as Excel writes its own.
        using P = model::DocumentProperties;
        static constexpr std::array<std::pair<std::string_view, std::string P::*>, 12> kProperties{{
            {"Title", &P::title},
            {"Subject", &P::subject},
            {"Author", &P::author},
            {"Keywords", &P::keywords},
            {"Description", &P::description},
            {"LastAuthor", &P::lastAuthor},
            {"Category", &P::category},
            {"Manager", &P::manager},
            {"Company", &P::company},
            {"Created", &P::created},
            {"LastSaved", &P::lastSaved},
            {"LastPrinted", &P::lastPrinted},
        }};
        for (const auto& [field, member] : kProperties)
        {
            if (field == name)
                w.properties.*member = m_text;
        }
    }

    void text(std::string_view text) override
    {
        if (m_text.size() + text.size() <= 4096)
            m_text.append(text);
    }

private:
    model::WorkbookInfo& m_info;
    int m_depth = 0;
    std::string m_text;
};

void readWorkbookIslands(std::string_view text, model::WorkbookInfo& info)
{
    model::WorkbookInfo read;
    for (const auto& [open, close] : {std::pair<std::string_view, std::string_view>{"<x:ExcelWorkbook>", "</x:ExcelWorkbook>"},
                                      {"<o:DocumentProperties>", "</o:DocumentProperties>"}})
    {
        const std::size_t at = text.find(open);
        const std::size_t end = at == std::string_view::npos ? at : text.find(close, at);
        if (end == std::string_view::npos)
            continue;
        WorkbookIslandHandler handler(read);
        // A damaged island leaves the settings the workbook has without it.
        if (!xlsx::parseXml(text.substr(at, end + close.size() - at), handler, "the workbook island"))
            continue;
        if (open == "<o:DocumentProperties>")
            info.properties = read.properties;
        else
        {
            const int last = std::max(static_cast<int>(info.sheets.size()) - 1, 0);
            info.windowHeight = read.windowHeight;
            info.windowWidth = read.windowWidth;
            info.windowTopX = read.windowTopX;
            info.windowTopY = read.windowTopY;
            info.tabRatio = std::clamp(read.tabRatio, 0, 1000);
            info.activeSheet = std::clamp(read.activeSheet, 0, last);
            info.firstVisibleSheet = std::clamp(read.firstVisibleSheet, 0, last);
            info.protectStructure = read.protectStructure;
            info.protectWindows = read.protectWindows;
        }
    }
}

/// Each linked sheet from its file, in the order of the page's list, all of them together no larger than one text
/// file may be. A sheet that cannot be read fails the page: a workbook with a sheet left out is not the workbook.
Status readLinkedSheets(const std::vector<LinkedSheet>& linked, DateOrder order, MemoryWorkbook& workbook,
                        const PageLoader& loader)
{
    std::size_t budget = kMaxTextFileBytes;
    for (const LinkedSheet& entry : linked)
    {
        if (Status status = checkDeadline(); !status)
            return status;
        std::string text;
        Status loaded = loader(entry.href, {}, budget, text);
        if (loaded.code() == EngineErrc::LimitExceeded)
            return {EngineErrc::LimitExceeded, "a web page whose sheet files take more than 256 MB"};
        if (loaded.code() == EngineErrc::Timeout || loaded.code() == EngineErrc::OutOfMemory)
            return loaded;
        if (!loaded)
            return {EngineErrc::DamagedFile, "The web page's sheet \"" + entry.name + "\" cannot be read from " +
                                                 entry.href + ": " + loaded.detail()};
        budget -= std::min(budget, text.size());
        blankRevealedConditionals(text);
        if (Status status = readPage(text, entry.name, true, order, workbook, loader, entry.href); !status)
            return status;
    }
    return {};
}

} // namespace

std::vector<LinkedSheet> linkedSheets(std::string_view text)
{
    std::vector<LinkedSheet> sheets;
    constexpr std::string_view kOpen = "<x:ExcelWorksheet>", kClose = "</x:ExcelWorksheet>";
    for (std::size_t at = text.find(kOpen); at != std::string_view::npos && sheets.size() <= kMaxLinkedSheets;
         at = text.find(kOpen, at))
    {
        at += kOpen.size();
        const std::size_t end = text.find(kClose, at);
        if (end == std::string_view::npos)
            break;
        const std::string_view entry = text.substr(at, end - at);
        at = end + kClose.size();
        const std::size_t name = entry.find("<x:Name>");
        const std::size_t nameEnd = entry.find("</x:Name>");
        const std::size_t source = entry.find("<x:WorksheetSource");
        if (source == std::string_view::npos)
            continue;
        const std::size_t sourceEnd = entry.find('>', source);
        LinkedSheet sheet;
        sheet.href = tagAttribute(
            entry.substr(source, sourceEnd == std::string_view::npos ? entry.npos : sourceEnd - source), "href");
        if (name != std::string_view::npos && nameEnd != std::string_view::npos && name < nameEnd)
            sheet.name = unescapeXml(entry.substr(name + 8, nameEnd - name - 8));
        if (!sheet.href.empty())
            sheets.push_back(std::move(sheet));
    }
    return sheets;
}

Status readHtml(std::string_view text, std::string_view fallbackName, DateOrder order, MemoryWorkbook& workbook,
                const PageLoader& loader)
{
    Status status;
    const std::vector<LinkedSheet> linked = loader ? linkedSheets(text) : std::vector<LinkedSheet>();
    if (linked.size() > kMaxLinkedSheets)
        return {EngineErrc::LimitExceeded, "a web page that lists more than 4096 sheet files"};
    if (!linked.empty())
        status = readLinkedSheets(linked, order, workbook, loader);
    else
        status = readPage(text, fallbackName, false, order, workbook, loader, {});
    if (status)
        readWorkbookIslands(text, workbook.workbook);
    return status;
}

} // namespace velquin::engine::text
