// The strings of the binary workbook parts.
#include "engine/xlsb/WideString.h"

#include "engine/xls/formula/ConstantText.h"

namespace velquin::engine::xlsb {

bool readUtf16(ByteCursor& cursor, std::size_t count, std::string& utf8)
{
    return xls::formula::readUtf16Characters(cursor, count, utf8);
}

bool readWideString(ByteCursor& cursor, std::string& utf8)
{
    utf8.clear();
    std::uint32_t count = 0;
    return cursor.readU32(count) && readUtf16(cursor, count, utf8);
}

bool readNullableWideString(ByteCursor& cursor, std::string& utf8)
{
    utf8.clear();
    std::uint32_t count = 0;
    if (!cursor.readU32(count))
        return false;
    return count == 0xFFFFFFFFu || readUtf16(cursor, count, utf8);
}

bool readRichString(ByteCursor& cursor, std::string& utf8, std::vector<FontRun>& runs)
{
    runs.clear();
    std::uint8_t flags = 0;
    if (!cursor.readU8(flags) || !readWideString(cursor, utf8))
        return false;
    if (flags & 0x01)
    {
        std::uint32_t count = 0;
        if (!cursor.readU32(count) || count > cursor.remaining() / 4)
            return false;
        runs.resize(count);
        for (FontRun& run : runs)
        {
            cursor.readU16(run.first);
            cursor.readU16(run.font);
        }
    }
    // Phonetic text (flag 0x02) follows; nothing after it is needed.
    return true;
}

std::vector<model::TextRun> splitRichString(ByteCursor start, const std::vector<FontRun>& marks,
                                            const xls::SharedStringTable::FontLookup& fonts)
{
    std::uint8_t flags = 0;
    std::uint32_t count = 0;
    start.readU8(flags);
    start.readU32(count);
    std::vector<std::uint16_t> units(count);
    for (std::uint16_t& unit : units)
        start.readU16(unit);
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points;
    points.reserve(marks.size());
    for (const FontRun& mark : marks)
        points.emplace_back(mark.first, mark.font);
    return xls::splitRuns(units, points, fonts);
}

} // namespace velquin::engine::xlsb
