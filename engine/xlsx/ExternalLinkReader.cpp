// External workbook links of a package.
#include "engine/xlsx/ExternalLinkReader.h"

#include "engine/xlsx/Relationships.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>

namespace velquin::engine::xlsx {

namespace {

class ExternalLinkHandler : public XmlHandler
{
public:
    explicit ExternalLinkHandler(std::string& id) : m_id(id) {}

    void startElement(std::string_view name, const XmlAttributes& attributes) override
    {
        if (name == "externalBook" && m_id.empty())
            m_id = attributes.get("id");
    }
    void endElement(std::string_view) override {}

private:
    std::string& m_id;
};

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b;
           });
}

} // namespace

Status readExternalBookId(std::string_view xml, std::string_view partName, std::string& relationshipId)
{
    relationshipId.clear();
    ExternalLinkHandler handler(relationshipId);
    return parseXml(xml, handler, partName);
}

formula::ExternalBook externalBookFromTarget(std::string_view target)
{
    std::string path = percentDecoded(target);
    bool web = false;
    if (startsWithNoCase(path, "file:///"))
        path.erase(0, 8);
    else if (startsWithNoCase(path, "file://"))
        path.replace(0, 7, "\\\\");
    else
        web = path.find("://") != std::string::npos;
    if (!web)
        std::replace(path.begin(), path.end(), '/', '\\');
    const std::size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos)
        return {"", path};
    return {path.substr(0, separator + 1), path.substr(separator + 1)};
}

} // namespace velquin::engine::xlsx
