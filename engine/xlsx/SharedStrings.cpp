// The shared string table of a workbook.
#include "engine/xlsx/SharedStrings.h"

#include "engine/Text.h"
#include "engine/xlsx/RichTextCollector.h"
#include "engine/xlsx/XmlParser.h"
#include "engine/xlsx/ZipPackage.h"

#include <algorithm>

namespace velquin::engine::xlsx {

namespace {

class SharedStringsHandler : public XmlHandler
{
public:
    SharedStringsHandler(SharedStrings& table, const ColorResolver& colors, std::size_t budget)
        : m_table(table), m_collector(&colors), m_budget(budget)
    {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override
    {
        if (name == "si")
        {
            m_inItem = true;
            m_collector.begin();
        }
        else if (m_inItem)
            m_collector.startElement(name, attributes);
    }

    void endElement(std::string_view name) override
    {
        if (name == "si" && m_inItem)
        {
            m_inItem = false;
            m_collector.finish();
            m_table.add(m_collector.plainText(), std::move(m_collector.runs()));
            if (m_table.footprint() > m_budget)
                stopReason = {EngineErrc::LimitExceeded, "the shared strings would take more than " +
                                                             std::to_string(m_budget >> 20) +
                                                             " MB of memory, far more than the file's size explains"};
        }
        else if (m_inItem)
            m_collector.endElement(name);
    }

    void text(std::string_view text) override
    {
        if (m_inItem)
            m_collector.text(text);
    }

private:
    SharedStrings& m_table;
    RichTextCollector m_collector;
    std::size_t m_budget;
    bool m_inItem = false;
};

} // namespace

void SharedStrings::add(std::string_view text, std::vector<model::TextRun> runs)
{
    if (!runs.empty())
    {
        m_footprint += sizeof(m_rich.front()) + runs.size() * sizeof(model::TextRun);
        for (const model::TextRun& run : runs)
            m_footprint += heapBytes(run.text) + heapBytes(run.font.name);
        m_rich.emplace_back(static_cast<std::uint32_t>(size()), std::move(runs));
    }
    m_text += text;
    m_offsets.push_back(static_cast<std::uint32_t>(std::min<std::size_t>(m_text.size(), UINT32_MAX)));
    m_footprint += text.size() + sizeof(std::uint32_t);
}

std::size_t SharedStrings::budgetFor(std::uint64_t storedSize)
{
    const std::uint64_t scaled = storedSize > kMaxBudget / 32 ? kMaxBudget : storedSize * 32;
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(scaled, kMinBudget, kMaxBudget));
}

Status SharedStrings::read(const ZipPackage& package, const std::string& partName, const ColorResolver& colors,
                           std::size_t budget)
{
    ZipPartStream stream;
    if (Status status = package.openStream(partName, stream); !status)
        return status;
    SharedStringsHandler handler(*this, colors, budget ? budget : budgetFor(stream.storedSize()));
    return parseXmlStream(stream, handler);
}

std::string_view SharedStrings::text(std::size_t index) const
{
    if (index + 1 >= m_offsets.size())
        return {};
    return std::string_view(m_text).substr(m_offsets[index], m_offsets[index + 1] - m_offsets[index]);
}

std::span<const model::TextRun> SharedStrings::runs(std::size_t index) const
{
    auto found = std::lower_bound(m_rich.begin(), m_rich.end(), index,
                                  [](const auto& entry, std::size_t wanted) { return entry.first < wanted; });
    if (found == m_rich.end() || found->first != index)
        return {};
    return found->second;
}

} // namespace velquin::engine::xlsx
