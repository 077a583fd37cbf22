// The shared string table of a workbook.
#include "engine/xlsx/SharedStrings.h"

#include "engine/xlsx/RichTextCollector.h"
#include "engine/xlsx/XmlParser.h"
#include "engine/xlsx/ZipPackage.h"

#include <algorithm>

namespace velquin::engine::xlsx {

namespace {

class SharedStringsHandler : public XmlHandler
{
public:
    SharedStringsHandler(SharedStrings& table, const ColorResolver& colors) : m_table(table), m_collector(&colors) {}

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
            m_total += m_collector.plainText().size();
            if (m_total > SharedStrings::kMaxTextBytes)
            {
                stopReason = {EngineErrc::LimitExceeded, "the shared strings exceed 1 GB"};
                return;
            }
            m_table.add(m_collector.plainText(), std::move(m_collector.runs()));
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
    bool m_inItem = false;
    std::size_t m_total = 0;
};

} // namespace

void SharedStrings::add(std::string_view text, std::vector<model::TextRun> runs)
{
    if (!runs.empty())
        m_rich.emplace_back(static_cast<std::uint32_t>(size()), std::move(runs));
    m_text += text;
    m_offsets.push_back(m_text.size());
}

Status SharedStrings::read(const ZipPackage& package, const std::string& partName, const ColorResolver& colors)
{
    ZipPartStream stream;
    if (Status status = package.openStream(partName, stream); !status)
        return status;
    SharedStringsHandler handler(*this, colors);
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
