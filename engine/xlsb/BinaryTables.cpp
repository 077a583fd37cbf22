// Reads the binary table parts and writes structured references.
#include "engine/xlsb/BinaryTables.h"

#include "engine/xlsb/RecordReader.h"
#include "engine/xlsb/WideString.h"

namespace velquin::engine::xlsb {

namespace {

constexpr std::uint32_t BrtBeginList = 343;
constexpr std::uint32_t BrtBeginListCol = 347;
constexpr std::size_t kMaxColumns = 16384;

// A column name inside brackets: the characters that mean something there are escaped with an apostrophe.
std::string escapedColumn(const std::string& name)
{
    std::string out = "[";
    for (char c : name)
    {
        if (c == '[' || c == ']' || c == '#' || c == '\'')
            out += '\'';
        out += c;
    }
    return out + "]";
}

std::string_view rowItem(unsigned rows)
{
    switch (rows)
    {
    case 0x01:
        return "[#All]";
    case 0x02:
        return "[#Headers]";
    case 0x04:
        return "[#Data]";
    case 0x06:
        return "[#Headers],[#Data]";
    case 0x08:
        return "[#Totals]";
    case 0x0C:
        return "[#Data],[#Totals]";
    case 0x10:
        return "[#This Row]";
    default:
        return {};
    }
}

} // namespace

Status readBinaryTable(std::span<const std::uint8_t> bytes, const std::string& partName,
                       std::vector<BinaryTable>& out)
{
    RecordReader reader(bytes, partName);
    BinaryTable table;
    bool begun = false;
    Status status = forEachRecord(reader, [&](const Record& record, bool&) -> Status {
        ByteCursor c(record.body);
        if (record.type == BrtBeginList && !begun)
        {
            std::string name, displayName;
            // The range, type, id, header and total row counts, flags, six format ids, connection and style.
            if (!c.skip(20) || !c.readU32(table.id) || !c.skip(44) || !readNullableWideString(c, name) ||
                !readNullableWideString(c, displayName))
                return {EngineErrc::DamagedFile, partName + ": the table record is cut short"};
            table.name = displayName.empty() ? name : displayName;
            begun = true;
        }
        else if (record.type == BrtBeginListCol && begun)
        {
            std::string name, caption;
            if (!c.skip(24) || !readNullableWideString(c, name) || !readNullableWideString(c, caption))
                return {EngineErrc::DamagedFile, partName + ": a table column record is cut short"};
            if (table.columns.size() >= kMaxColumns)
                return {EngineErrc::LimitExceeded, partName + ": the table has too many columns"};
            table.columns.push_back(caption.empty() ? name : caption);
        }
        return {};
    });
    if (!status)
        return status;
    if (begun && !table.name.empty())
        out.push_back(std::move(table));
    return {};
}

std::optional<std::string> structuredReference(const BinaryTable& table, std::uint16_t flags,
                                               std::uint16_t firstColumn, std::uint16_t lastColumn)
{
    const unsigned columns = flags & 0x03;
    const std::string_view item = rowItem((flags >> 2) & 0x1F);
    std::string columnText;
    if (columns != 0)
    {
        if (firstColumn >= table.columns.size() || (columns == 2 && lastColumn >= table.columns.size()))
            return std::nullopt;
        columnText = escapedColumn(table.columns[firstColumn]);
        if (columns == 2 && lastColumn != firstColumn)
            columnText += ":" + escapedColumn(table.columns[lastColumn]);
    }
    // One bracketed piece stands alone ("T[#All]", "T[Sales]"); several go inside one more pair of brackets.
    const bool single = item.empty() ? !columnText.empty() && columnText.find(':') == std::string::npos
                                     : columnText.empty() && item.find(',') == std::string_view::npos;
    if (single)
        return table.name + (item.empty() ? columnText : std::string(item));
    std::string text = table.name + "[" + std::string(item);
    if (!item.empty() && !columnText.empty())
        text += ",";
    text += columnText;
    return text + "]";
}

} // namespace velquin::engine::xlsb
