// Package relationships and content types.
#include "engine/xlsx/Relationships.h"

#include "engine/Text.h"
#include "engine/xlsx/XmlParser.h"
#include "engine/xlsx/ZipPackage.h"

#include <algorithm>

namespace velquin::engine::xlsx {

namespace {

std::string lower(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
    {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return result;
}

class RelationshipsHandler : public XmlHandler
{
public:
    RelationshipsHandler(std::string_view source, std::vector<Relationship>& out) : m_source(source), m_out(out) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override
    {
        if (name != "Relationship")
            return;
        if (m_out.size() >= 1000000)
        {
            stopReason = {EngineErrc::LimitExceeded, "too many relationships"};
            return;
        }
        Relationship rel;
        rel.id = attributes.get("Id");
        rel.type = attributes.get("Type");
        rel.external = attributes.get("TargetMode") == "External";
        std::string_view target = attributes.get("Target");
        rel.target = rel.external ? std::string(target) : resolvePartName(m_source, percentDecoded(target));
        m_out.push_back(std::move(rel));
    }
    void endElement(std::string_view) override {}

private:
    std::string_view m_source;
    std::vector<Relationship>& m_out;
};

class ContentTypesHandler : public XmlHandler
{
public:
    ContentTypesHandler(std::vector<std::pair<std::string, std::string>>& overrides,
                        std::vector<std::pair<std::string, std::string>>& defaults)
        : m_overrides(overrides), m_defaults(defaults)
    {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override
    {
        if (m_overrides.size() + m_defaults.size() >= 1000000)
        {
            stopReason = {EngineErrc::LimitExceeded, "too many content types"};
            return;
        }
        if (name == "Override")
            m_overrides.emplace_back(lower(resolvePartName("", attributes.get("PartName"))),
                                     std::string(attributes.get("ContentType")));
        else if (name == "Default")
            m_defaults.emplace_back(lower(attributes.get("Extension")), std::string(attributes.get("ContentType")));
    }
    void endElement(std::string_view) override {}

private:
    std::vector<std::pair<std::string, std::string>>& m_overrides;
    std::vector<std::pair<std::string, std::string>>& m_defaults;
};

} // namespace

std::string percentDecoded(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 && hexDigitValue(text[i + 2]) >= 0)
        {
            result += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
            i += 2;
        }
        else
            result += text[i];
    }
    return result;
}

bool Relationship::typeIs(std::string_view kind) const
{
    return type.size() > kind.size() && type.compare(type.size() - kind.size(), kind.size(), kind) == 0 &&
           type[type.size() - kind.size() - 1] == '/';
}

std::string resolvePartName(std::string_view sourcePart, std::string_view target)
{
    std::vector<std::string_view> segments;
    if (target.empty() || target.front() != '/')
    {
        std::size_t slash = sourcePart.rfind('/');
        std::string_view folder = slash == std::string_view::npos ? std::string_view() : sourcePart.substr(0, slash);
        std::size_t pos = 0;
        while (pos < folder.size())
        {
            std::size_t end = std::min(folder.find('/', pos), folder.size());
            if (end > pos)
                segments.push_back(folder.substr(pos, end - pos));
            pos = end + 1;
        }
    }
    std::size_t pos = 0;
    while (pos <= target.size())
    {
        std::size_t end = std::min(target.find('/', pos), target.size());
        std::string_view segment = target.substr(pos, end - pos);
        if (segment == "..")
        {
            if (!segments.empty())
                segments.pop_back();
        }
        else if (!segment.empty() && segment != ".")
            segments.push_back(segment);
        pos = end + 1;
    }
    std::string result;
    for (std::string_view segment : segments)
    {
        if (!result.empty())
            result += '/';
        result += segment;
    }
    return result;
}

Status readRelationships(const ZipPackage& package, std::string_view sourcePart, std::vector<Relationship>& out)
{
    out.clear();
    std::size_t slash = sourcePart.rfind('/');
    std::string relsPart = slash == std::string_view::npos ? "_rels/" + std::string(sourcePart) + ".rels"
                                                           : std::string(sourcePart.substr(0, slash)) + "/_rels/" +
                                                                 std::string(sourcePart.substr(slash + 1)) + ".rels";
    if (!package.contains(relsPart))
        return {};
    std::string xml;
    if (Status status = package.read(relsPart, xml); !status)
        return status;
    RelationshipsHandler handler(sourcePart, out);
    return parseXml(xml, handler, relsPart);
}

Status ContentTypes::read(const ZipPackage& package)
{
    std::string xml;
    if (!package.contains("[Content_Types].xml"))
        return {EngineErrc::NotAWorkbook, "the package has no [Content_Types].xml"};
    if (Status status = package.read("[Content_Types].xml", xml); !status)
        return status;
    ContentTypesHandler handler(m_overrides, m_defaults);
    return parseXml(xml, handler, "[Content_Types].xml");
}

std::string_view ContentTypes::of(std::string_view partName) const
{
    std::string key = lower(partName);
    for (const auto& [name, type] : m_overrides)
    {
        if (name == key)
            return type;
    }
    std::size_t dot = key.rfind('.');
    std::string extension = dot == std::string::npos ? std::string() : key.substr(dot + 1);
    for (const auto& [name, type] : m_defaults)
    {
        if (name == extension)
            return type;
    }
    return {};
}

} // namespace velquin::engine::xlsx
