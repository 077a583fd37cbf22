// Reads the document properties of a package.
#include "engine/xlsx/PropertiesReader.h"

#include "engine/xlsx/XmlParser.h"

#include <charconv>
#include <cmath>
#include <string>

namespace velquin::engine::xlsx {

using model::CustomProperty;
using model::DocumentProperties;

namespace {

// "2006-09-16T00:00:00.123Z" -> "2006-09-16T00:00:00Z": the output has whole seconds.
std::string wholeSeconds(std::string text)
{
    std::size_t dot = text.find('.');
    if (dot != std::string::npos && text.size() >= 19)
    {
        std::size_t end = dot + 1;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        text.erase(dot, end - dot);
    }
    if (text.size() == 19)
        text += 'Z';
    return text;
}

// Collects the text of each leaf element and hands it over with the element's name.
class LeafTextHandler : public XmlHandler
{
public:
    void startElement(std::string_view name, const XmlAttributes& attributes) override
    {
        m_text.clear();
        m_collect = true;
        elementStarted(name, attributes);
    }
    void endElement(std::string_view name) override
    {
        if (m_collect)
            leaf(name, m_text);
        m_collect = false;
        m_text.clear();
    }
    void text(std::string_view text) override
    {
        if (m_collect && m_text.size() < (1u << 20))
            m_text += text;
    }

protected:
    virtual void elementStarted(std::string_view, const XmlAttributes&) {}
    virtual void leaf(std::string_view name, const std::string& text) = 0;

private:
    std::string m_text;
    bool m_collect = false;
};

class CoreHandler : public LeafTextHandler
{
public:
    explicit CoreHandler(DocumentProperties& p) : m_p(p) {}

protected:
    void leaf(std::string_view name, const std::string& text) override
    {
        if (name == "title")
            m_p.title = text;
        else if (name == "subject")
            m_p.subject = text;
        else if (name == "creator")
            m_p.author = text;
        else if (name == "keywords")
            m_p.keywords = text;
        else if (name == "description")
            m_p.description = text;
        else if (name == "lastModifiedBy")
            m_p.lastAuthor = text;
        else if (name == "category")
            m_p.category = text;
        else if (name == "created")
            m_p.created = wholeSeconds(text);
        else if (name == "modified")
            m_p.lastSaved = wholeSeconds(text);
        else if (name == "lastPrinted")
            m_p.lastPrinted = wholeSeconds(text);
    }

private:
    DocumentProperties& m_p;
};

class AppHandler : public LeafTextHandler
{
public:
    explicit AppHandler(DocumentProperties& p) : m_p(p) {}

protected:
    void leaf(std::string_view name, const std::string& text) override
    {
        if (name == "Manager")
            m_p.manager = text;
        else if (name == "Company")
            m_p.company = text;
        else if (name == "AppVersion")
            m_p.appVersion = text;
    }

private:
    DocumentProperties& m_p;
};

class CustomHandler : public LeafTextHandler
{
public:
    explicit CustomHandler(DocumentProperties& p) : m_p(p) {}

protected:
    void elementStarted(std::string_view name, const XmlAttributes& attributes) override
    {
        if (name == "property")
            m_name = attributes.get("name");
    }
    void leaf(std::string_view name, const std::string& text) override
    {
        if (m_name.empty() || name == "property" || m_p.custom.size() >= 10000)
            return;
        CustomProperty property;
        property.name = m_name;
        if (name == "bool")
        {
            property.type = CustomProperty::Type::Boolean;
            property.value.assign(1, text == "true" || text == "1" ? '1' : '0');
        }
        else if (name == "filetime" || name == "date")
        {
            property.type = CustomProperty::Type::DateTime;
            property.value = wholeSeconds(text);
        }
        else if (name == "i1" || name == "i2" || name == "i4" || name == "i8" || name == "int" || name == "ui1" ||
                 name == "ui2" || name == "ui4" || name == "ui8" || name == "uint" || name == "r4" || name == "r8" ||
                 name == "decimal")
        {
            double number = 0;
            property.type = CustomProperty::Type::Number;
            property.value = parseXmlNumber(text, number) ? text : "0";
        }
        else
            property.value = text;
        m_p.custom.push_back(std::move(property));
        m_name.clear();
    }

private:
    DocumentProperties& m_p;
    std::string m_name;
};

} // namespace

Status readCoreProperties(std::string_view xml, DocumentProperties& properties)
{
    CoreHandler handler(properties);
    return xml.empty() ? Status() : parseXml(xml, handler, "docProps/core.xml");
}

Status readAppProperties(std::string_view xml, DocumentProperties& properties)
{
    AppHandler handler(properties);
    return xml.empty() ? Status() : parseXml(xml, handler, "docProps/app.xml");
}

Status readCustomProperties(std::string_view xml, DocumentProperties& properties)
{
    CustomHandler handler(properties);
    return xml.empty() ? Status() : parseXml(xml, handler, "docProps/custom.xml");
}

} // namespace velquin::engine::xlsx
