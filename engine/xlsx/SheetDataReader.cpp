// Streams the rows and cells of a worksheet.
#include "engine/xlsx/SheetDataReader.h"

#include "engine/formula/R1C1Translator.h"
#include "engine/xlsx/RichTextCollector.h"
#include "engine/xlsx/SharedStrings.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>
#include <unordered_map>
#include <vector>

namespace velquin::engine::xlsx {

using namespace velquin::engine::model;

namespace {

constexpr std::size_t kMaxValueText = std::size_t(1) << 20;   // a cell holds at most 32767 characters
constexpr std::size_t kMaxFormulaText = std::size_t(1) << 16; // Excel's limit is 8192 characters
constexpr std::size_t kMaxSharedFormulaBytes = std::size_t(256) << 20;
constexpr std::uint32_t kPollEvery = 4096;

// "AB12" -> 0-based row 11, column 27. False when it is not a cell inside the largest sheet.
bool parseCellPosition(std::string_view text, std::uint32_t& row, std::uint32_t& col)
{
    std::size_t i = 0;
    std::uint32_t c = 0;
    while (i < text.size() && i < 4)
    {
        char ch = text[i];
        if (ch >= 'A' && ch <= 'Z')
            c = c * 26 + static_cast<std::uint32_t>(ch - 'A' + 1);
        else if (ch >= 'a' && ch <= 'z')
            c = c * 26 + static_cast<std::uint32_t>(ch - 'a' + 1);
        else
            break;
        ++i;
    }
    if (i == 0 || c > kMaxColumns || i == text.size())
        return false;
    std::uint32_t r = 0;
    for (; i < text.size(); ++i)
    {
        char ch = text[i];
        if (ch < '0' || ch > '9' || r > kMaxRows)
            return false;
        r = r * 10 + static_cast<std::uint32_t>(ch - '0');
    }
    if (r == 0 || r > kMaxRows)
        return false;
    row = r - 1;
    col = c - 1;
    return true;
}

long long parseIndex(std::string_view text)
{
    long long value = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : -1;
}

enum class Collect : std::uint8_t
{
    Nothing,
    Value,
    Formula,
    Inline
};

enum class FormulaKind : std::uint8_t
{
    Normal,
    Shared,
    Array,
    DataTable
};

class SheetDataHandler : public XmlHandler
{
public:
    SheetDataHandler(const SheetDataContext& context, SheetSink& sink)
        : m_context(context), m_sink(sink), m_inline(context.colors)
    {
        m_value.reserve(256);
        m_formulaA1.reserve(256);
        m_formula.reserve(256);
    }

    void startElement(std::string_view name, const XmlAttributes& a) override
    {
        if (m_collect == Collect::Inline)
        {
            m_inline.startElement(name, a);
            return;
        }
        if (!m_inSheetData)
        {
            m_inSheetData = name == "sheetData";
            return;
        }
        if (name == "c")
            cellStart(a);
        else if (name == "v" && m_inCell)
        {
            m_collect = Collect::Value;
            m_value.clear();
            m_hasValue = true;
        }
        else if (name == "f" && m_inCell)
            formulaStart(a);
        else if (name == "is" && m_inCell)
        {
            m_collect = Collect::Inline;
            m_inline.begin();
            m_hasInline = true;
        }
        else if (name == "row")
            rowStart(a);
    }

    void endElement(std::string_view name) override
    {
        if (m_collect == Collect::Inline)
        {
            if (name == "is")
            {
                m_collect = Collect::Nothing;
                m_inline.finish();
            }
            else
                m_inline.endElement(name);
            return;
        }
        if (!m_inSheetData)
            return;
        if (name == "v" || name == "f")
        {
            if (name == "f" && m_collect == Collect::Formula)
                formulaEnd();
            m_collect = Collect::Nothing;
        }
        else if (name == "c" && m_inCell)
            cellEnd();
        else if (name == "sheetData")
            m_inSheetData = false;
    }

    void text(std::string_view text) override
    {
        switch (m_collect)
        {
        case Collect::Value:
            if (m_value.size() + text.size() > kMaxValueText)
                stopReason = {EngineErrc::LimitExceeded, "a cell value is longer than 1 MB"};
            else
                m_value += text;
            break;
        case Collect::Formula:
            if (m_formulaA1.size() + text.size() > kMaxFormulaText)
                stopReason = {EngineErrc::LimitExceeded, "a formula is longer than 64 KB"};
            else
                m_formulaA1 += text;
            break;
        case Collect::Inline:
            m_inline.text(text);
            break;
        case Collect::Nothing:
            break;
        }
    }

private:
    void fail(std::string detail) { stopReason = {EngineErrc::DamagedFile, std::move(detail)}; }

    void rowStart(const XmlAttributes& a)
    {
        std::uint32_t row = m_haveRow ? m_row + 1 : 0;
        std::string_view number = a.get("r");
        if (!number.empty())
        {
            long long r = a.integer("r", 0);
            if (r < 1 || r > static_cast<long long>(kMaxRows))
                return fail("row number " + std::string(number) + " is outside the sheet");
            row = static_cast<std::uint32_t>(r - 1);
        }
        if (row >= kMaxRows)
            return fail("rows go beyond the sheet's last row");
        if (m_haveRow && row <= m_row)
            return fail("row " + std::to_string(row + 1) + " comes after row " + std::to_string(m_row + 1));
        m_haveRow = true;
        m_row = row;
        m_lastCol = -1;
        RowInfo info;
        info.row = row;
        double height = a.number("ht", -1);
        if (height >= 0 && height <= 409.5)
            info.height = height;
        info.customHeight = a.flag("customHeight", false);
        info.hidden = a.flag("hidden", false);
        if (a.flag("customFormat", false))
            info.style = styleIndex(a.integer("s", -1));
        m_sink.row(info);
    }

    int styleIndex(long long s) const
    {
        return s >= 0 && static_cast<std::size_t>(s) < m_context.styleCount ? static_cast<int>(s) : -1;
    }

    void cellStart(const XmlAttributes& a)
    {
        if (!m_haveRow)
            return fail("a cell comes before any row");
        std::uint32_t row = m_row, col = static_cast<std::uint32_t>(m_lastCol + 1);
        // Cells are the bulk of a sheet, so their three attributes are picked out in one look at each.
        std::string_view ref, style, type = "n";
        for (const char** p = a.pairs(); p && *p; p += 2)
        {
            std::string_view name = localName(*p);
            if (name.size() != 1)
                continue;
            if (name[0] == 'r')
                ref = p[1];
            else if (name[0] == 's')
                style = p[1];
            else if (name[0] == 't')
                type = p[1];
        }
        if (!ref.empty())
        {
            if (!parseCellPosition(ref, row, col))
                return fail("cell reference \"" + std::string(ref.substr(0, 32)) + "\" is outside the sheet");
            if (row != m_row)
                return fail("cell " + std::string(ref) + " is not in its row " + std::to_string(m_row + 1));
        }
        if (col >= kMaxColumns)
            return fail("cells go beyond the sheet's last column in row " + std::to_string(m_row + 1));
        if (static_cast<long long>(col) <= m_lastCol)
            return fail("cell " + std::string(ref) + " comes after a cell to its right");
        m_lastCol = col;
        m_inCell = true;
        m_hasValue = m_hasInline = m_hasFormula = false;
        m_cell = Cell{};
        m_cell.row = row;
        m_cell.col = col;
        m_styleGiven = !style.empty() && style != "0";
        m_cell.style = style.empty() ? (m_context.styleCount > 0 ? 0 : -1) : styleIndex(parseIndex(style));
        m_type = type.empty() ? 'n' : type[0];
        if (type == "str")
            m_type = 'f';
        else if (type == "inlineStr")
            m_type = 'i';
    }

    void formulaStart(const XmlAttributes& a)
    {
        m_collect = Collect::Formula;
        m_formulaA1.clear();
        std::string_view kind = a.get("t", "normal");
        m_formulaKind = kind == "shared"      ? FormulaKind::Shared
                        : kind == "array"     ? FormulaKind::Array
                        : kind == "dataTable" ? FormulaKind::DataTable
                                              : FormulaKind::Normal;
        m_formulaRef.assign(a.get("ref"));
        m_sharedIndex = a.integer("si", -1);
    }

    void formulaEnd()
    {
        decodeOoxmlEscapes(m_formulaA1); // formula text is an ST_Xstring like any other
        m_formula.clear();
        m_arrayRange.clear();
        switch (m_formulaKind)
        {
        case FormulaKind::DataTable:
            return; // what-if tables have no formula text to show
        case FormulaKind::Shared:
            sharedFormula();
            return;
        case FormulaKind::Array:
            if (!m_formulaRef.empty() &&
                !formula::rangeListToR1C1(m_formulaRef, true, m_cell.row, m_cell.col, m_arrayRange))
                m_arrayRange.clear();
            [[fallthrough]];
        case FormulaKind::Normal:
            if (m_formulaA1.empty())
                return;
            formula::appendR1C1Formula(m_formula, m_formulaA1, m_cell.row, m_cell.col, m_context.externalBooks);
            m_hasFormula = true;
            return;
        }
    }

    // Relative references keep the same R1C1 text in every cell of a shared group, so the anchor's translation
    // serves them all.
    void sharedFormula()
    {
        if (m_sharedIndex < 0)
            return;
        auto index = static_cast<std::uint64_t>(m_sharedIndex);
        if (!m_formulaA1.empty())
        {
            formula::appendR1C1Formula(m_formula, m_formulaA1, m_cell.row, m_cell.col, m_context.externalBooks);
            m_sharedBytes += m_formula.size() + 64;
            if (m_sharedBytes > kMaxSharedFormulaBytes)
                return void(stopReason = {EngineErrc::LimitExceeded, "shared formulas exceed 256 MB"});
            m_shared[index] = m_formula;
            m_hasFormula = true;
        }
        else if (auto found = m_shared.find(index); found != m_shared.end())
        {
            m_formula = found->second;
            m_hasFormula = true;
        }
    }

    void cellEnd()
    {
        m_inCell = false;
        m_collect = Collect::Nothing;
        if (!cellValue())
            return;
        if (m_hasFormula)
        {
            m_cell.formula = m_formula;
            m_cell.arrayRange = m_arrayRange;
        }
        if (m_cell.type == CellType::Blank && !m_hasFormula && !m_styleGiven)
            return;
        m_sink.cell(m_cell);
        if (++m_sincePoll >= kPollEvery)
        {
            m_sincePoll = 0;
            if (m_sink.shouldStop())
                stopReason = {EngineErrc::Timeout, "the conversion was stopped"};
        }
    }

    // Fills the value of m_cell from what the cell held; false (with stopReason) when it is damaged.
    bool cellValue()
    {
        Cell& cell = m_cell;
        if (m_type == 'i')
        {
            if (!m_hasInline)
                return true;
            cell.type = CellType::String;
            cell.text = m_inline.plainText();
            cell.runs = m_inline.runs();
            return true;
        }
        if (!m_hasValue)
            return true;
        switch (m_type)
        {
        case 's': {
            std::size_t index = 0;
            auto [end, error] = std::from_chars(m_value.data(), m_value.data() + m_value.size(), index);
            if (error != std::errc() || end != m_value.data() + m_value.size() || !m_context.strings ||
                index >= m_context.strings->size())
            {
                fail("cell " + position() + " refers to shared string \"" + m_value.substr(0, 16) +
                     "\", which does not exist");
                return false;
            }
            cell.type = CellType::String;
            cell.text = m_context.strings->text(index);
            cell.runs = m_context.strings->runs(index);
            return true;
        }
        case 'b':
            cell.type = CellType::Boolean;
            cell.boolean = m_value == "1" || m_value == "true";
            return true;
        case 'e':
            cell.type = CellType::Error;
            cell.text = m_value;
            return true;
        case 'f':
            decodeOoxmlEscapes(m_value);
            cell.type = CellType::String;
            cell.text = m_value;
            return true;
        case 'd':
            if (isoDateToSerial(m_value, m_context.date1904, cell.number))
                cell.type = CellType::Number;
            return true;
        default:
            if (m_value.empty())
                return true;
            if (!parseXmlNumber(m_value, cell.number))
            {
                fail("cell " + position() + " holds \"" + m_value.substr(0, 32) + "\", which is not a number");
                return false;
            }
            cell.type = CellType::Number;
            return true;
        }
    }

    std::string position() const
    {
        std::string name;
        for (std::uint32_t c = m_cell.col + 1; c > 0; c = (c - 1) / 26)
            name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
        return name + std::to_string(m_cell.row + 1);
    }

    const SheetDataContext& m_context;
    SheetSink& m_sink;
    RichTextCollector m_inline;
    bool m_inSheetData = false, m_inCell = false, m_haveRow = false;
    bool m_hasValue = false, m_hasInline = false, m_hasFormula = false, m_styleGiven = false;
    Collect m_collect = Collect::Nothing;
    FormulaKind m_formulaKind = FormulaKind::Normal;
    char m_type = 'n';
    std::uint32_t m_row = 0;
    long long m_lastCol = -1;
    long long m_sharedIndex = -1;
    std::uint32_t m_sincePoll = 0;
    Cell m_cell;
    std::string m_value, m_formulaA1, m_formula, m_formulaRef, m_arrayRange;
    std::unordered_map<std::uint64_t, std::string> m_shared; ///< by si; indices need not be dense
    std::size_t m_sharedBytes = 0;
};

bool readDigits(std::string_view& text, std::size_t count, int& value)
{
    if (text.size() < count)
        return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    text.remove_prefix(count);
    return true;
}

bool expect(std::string_view& text, char c)
{
    if (text.empty() || text.front() != c)
        return false;
    text.remove_prefix(1);
    return true;
}

// Days from 1970-01-01 in the proleptic Gregorian calendar.
long long daysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    long long era = (y >= 0 ? y : y - 399) / 400;
    long long yoe = y - era * 400;
    long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool readTime(std::string_view& text, double& fraction)
{
    int h = 0, mi = 0, s = 0;
    if (!readDigits(text, 2, h) || !expect(text, ':') || !readDigits(text, 2, mi))
        return false;
    double seconds = 0;
    if (expect(text, ':'))
    {
        if (!readDigits(text, 2, s))
            return false;
        seconds = s;
        if (expect(text, '.'))
        {
            double scale = 0.1;
            while (!text.empty() && text.front() >= '0' && text.front() <= '9')
            {
                seconds += (text.front() - '0') * scale;
                scale /= 10;
                text.remove_prefix(1);
            }
        }
    }
    if (h > 24 || mi > 59 || seconds >= 61)
        return false;
    fraction = (h * 3600 + mi * 60 + seconds) / 86400;
    return true;
}

} // namespace

bool isoDateToSerial(std::string_view text, bool date1904, double& serial)
{
    double fraction = 0;
    if (text.size() >= 3 && text[2] == ':')
    {
        if (!readTime(text, fraction))
            return false;
        serial = fraction;
        return true;
    }
    int y = 0, m = 0, d = 0;
    if (!readDigits(text, 4, y) || !expect(text, '-') || !readDigits(text, 2, m) || !expect(text, '-') ||
        !readDigits(text, 2, d) || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    if (expect(text, 'T') && !readTime(text, fraction))
        return false;
    long long days = daysFromCivil(y, m, d);
    if (date1904)
        serial = static_cast<double>(days - daysFromCivil(1904, 1, 1));
    else
    {
        // The 1900 system counts a 29 February 1900 that never was, so days before March 1900 are one lower.
        serial = static_cast<double>(days - daysFromCivil(1899, 12, 30));
        if (days < daysFromCivil(1900, 3, 1))
            serial -= 1;
    }
    serial += fraction;
    return true;
}

Status readSheetData(std::string_view part, std::string_view partName, const SheetDataContext& context, SheetSink& sink)
{
    SheetDataHandler handler(context, sink);
    return parseXml(part, handler, partName);
}

Status readSheetData(ZipPartStream& stream, const SheetDataContext& context, SheetSink& sink)
{
    SheetDataHandler handler(context, sink);
    return parseXmlStream(stream, handler);
}

} // namespace velquin::engine::xlsx
