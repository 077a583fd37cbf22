// Delimited text into one worksheet.
#include "engine/text/DelimitedTextReader.h"

#include "engine/Deadline.h"
#include "engine/text/StylePool.h"

#include <map>
#include <string>

namespace velquin::engine::text {

namespace {

class FieldReader
{
public:
    FieldReader(std::string_view text, char delimiter) : m_text(text), m_delimiter(delimiter) {}

    bool atEnd() const { return m_at >= m_text.size(); }

    /// Reads the next field into `field`; `endOfRecord` tells whether a line break or the end followed it.
    void next(std::string& field, bool& quoted, bool& endOfRecord)
    {
        field.clear();
        quoted = false;
        endOfRecord = false;
        if (m_at < m_text.size() && m_text[m_at] == '"')
        {
            quoted = true;
            ++m_at;
            readQuoted(field);
        }
        while (m_at < m_text.size())
        {
            const char c = m_text[m_at];
            if (c == m_delimiter)
            {
                ++m_at;
                return;
            }
            if (c == '\r' || c == '\n')
            {
                ++m_at;
                if (c == '\r' && m_at < m_text.size() && m_text[m_at] == '\n')
                    ++m_at;
                endOfRecord = true;
                return;
            }
            field += c;
            ++m_at;
        }
        endOfRecord = true;
    }

private:
    // Up to the closing quote; a doubled quote is one quote. Text after the closing quote joins the field.
    void readQuoted(std::string& field)
    {
        while (m_at < m_text.size())
        {
            const char c = m_text[m_at++];
            if (c != '"')
            {
                field += c;
                continue;
            }
            if (m_at < m_text.size() && m_text[m_at] == '"')
            {
                field += '"';
                ++m_at;
                continue;
            }
            return;
        }
    }

    std::string_view m_text;
    char m_delimiter;
    std::size_t m_at = 0;
};

} // namespace

char delimiterOf(std::string_view text)
{
    return text.find('\t') != std::string_view::npos ? '\t' : ',';
}

Status readDelimitedText(std::string_view text, std::string_view sheetName, DateOrder order, MemoryWorkbook& workbook)
{
    addDefaultStyles(workbook.workbook);
    StylePool styles(workbook.workbook);
    const model::CellStyle base = workbook.workbook.cellStyles.front();
    MemorySheet& sheet = workbook.addSheet(sheetName);
    FieldReader reader(text, delimiterOf(text));
    std::map<int, int> formatted; ///< built-in number format -> cell style
    std::string field;
    std::uint32_t row = 0, col = 0;
    std::size_t fields = 0;
    while (!reader.atEnd())
    {
        bool quoted = false, endOfRecord = false;
        reader.next(field, quoted, endOfRecord);
        if (row >= model::kMaxRows || col >= model::kMaxColumns)
            return {EngineErrc::LimitExceeded, "the text has more rows or columns than a worksheet"};
        if (!field.empty())
        {
            const TypedValue typed = typeValue(field, order);
            model::Cell cell;
            cell.row = row;
            cell.col = col;
            cell.type = typed.type;
            cell.number = typed.number;
            cell.boolean = typed.boolean;
            if (typed.type == model::CellType::String)
                cell.text = field;
            else if (typed.type == model::CellType::Error)
                cell.text = typed.error;
            if (typed.formatId != 0)
            {
                auto [entry, added] = formatted.try_emplace(typed.formatId, -1);
                if (added)
                    entry->second = styles.withFormat(base, typed.formatId);
                cell.style = entry->second;
            }
            if (!sheet.addCell(cell))
                return {EngineErrc::LimitExceeded, "the text has more cells than can be converted"};
        }
        if (endOfRecord)
        {
            ++row;
            col = 0;
        }
        else
            ++col;
        if (++fields % 65536 == 0)
        {
            if (Status status = checkDeadline(); !status)
                return status;
        }
    }
    return {};
}

} // namespace velquin::engine::text
