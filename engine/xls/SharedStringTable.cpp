// Shared string table parsing.
#include "engine/xls/SharedStringTable.h"

#include "engine/xls/BiffStrings.h"

#include <algorithm>

namespace velquin::engine::xls {

std::vector<model::TextRun> splitRuns(std::span<const std::uint16_t> text,
                                      std::span<const std::pair<std::uint16_t, std::uint16_t>> points,
                                      const SharedStringTable::FontLookup& fonts)
{
    std::vector<model::TextRun> runs;
    std::size_t start = 0;
    bool hasFont = false;
    std::uint16_t font = 0;
    auto flush = [&](std::size_t end) {
        if (end <= start)
            return;
        model::TextRun run;
        appendUtf16(run.text, text.subspan(start, end - start));
        run.hasFont = hasFont;
        if (hasFont && fonts)
            run.font = fonts(font);
        runs.push_back(std::move(run));
    };
    for (const auto& [ich, ifnt] : points)
    {
        std::size_t at = std::min<std::size_t>(ich, text.size());
        if (at < start)
            continue;
        flush(at);
        start = at;
        hasFont = true;
        font = ifnt;
    }
    flush(text.size());
    return runs;
}

Status SharedStringTable::parse(const Record& record, const FontLookup& fonts)
{
    ContinuedReader r(record);
    r.u32(); // total references; not needed
    std::uint32_t unique = r.u32();
    // Each string needs at least three bytes, so the data bounds how many there can be.
    std::size_t count = std::min<std::size_t>(unique, record.data.size() / 3);
    m_offsets.reserve(count + 1);
    std::vector<std::uint16_t> units;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points;
    for (std::size_t i = 0; i < count; ++i)
    {
        if (r.remaining() == 0)
            break; // fewer strings than announced: Excel itself reads what is there
        std::size_t cch = r.u16();
        std::uint8_t flags = r.u8();
        std::size_t runCount = (flags & 0x08) ? r.u16() : 0;
        std::size_t extSize = (flags & 0x04) ? r.u32() : 0;
        r.chars(cch, (flags & 0x01) != 0, units);
        points.clear();
        for (std::size_t k = 0; k < runCount && r.ok(); ++k)
        {
            std::uint16_t ich = r.u16();
            std::uint16_t ifnt = r.u16();
            points.emplace_back(ich, ifnt);
        }
        r.skip(extSize); // phonetic block
        if (!r.ok())
            return damagedRecord(record.sid, record.offset, "holds string " + std::to_string(i) + " past its end");
        if (runCount > 0)
        {
            auto runs = splitRuns(units, points, fonts);
            for (const auto& run : runs)
                m_arena += run.text;
            m_runs.emplace(i, std::move(runs));
        }
        else
        {
            appendUtf16(m_arena, units);
        }
        m_offsets.push_back(m_arena.size());
    }
    return {};
}

std::string_view SharedStringTable::text(std::size_t index) const
{
    if (index >= size())
        return {};
    return std::string_view(m_arena).substr(m_offsets[index], m_offsets[index + 1] - m_offsets[index]);
}

std::span<const model::TextRun> SharedStringTable::runs(std::size_t index) const
{
    auto it = m_runs.find(index);
    if (it == m_runs.end())
        return {};
    return it->second;
}

} // namespace velquin::engine::xls
