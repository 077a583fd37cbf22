// Collects the text of a string item with its formatted runs.
#include "engine/xlsx/RichTextCollector.h"

#include "engine/Text.h"
#include "engine/xlsx/ColorResolver.h"
#include "engine/xlsx/StylesReader.h"
#include "engine/xlsx/XmlParser.h"

namespace velquin::engine::xlsx {

namespace {} // namespace

namespace {

// The four hex digits of an escape "_xHHHH_" starting at `pos`, or -1 when there is none there.
long escapeAt(const std::string& text, std::size_t pos)
{
    if (pos + 6 >= text.size() || text[pos] != '_' || text[pos + 1] != 'x' || text[pos + 6] != '_')
        return -1;
    long code = 0;
    for (std::size_t i = pos + 2; i < pos + 6; ++i)
    {
        int digit = hexDigitValue(text[i]);
        if (digit < 0)
            return -1;
        code = code * 16 + digit;
    }
    return code;
}

} // namespace

void decodeOoxmlEscapes(std::string& text)
{
    std::size_t pos = text.find("_x");
    if (pos == std::string::npos)
        return;
    std::string out;
    out.reserve(text.size());
    out.append(text, 0, pos);
    while (pos < text.size())
    {
        long code = escapeAt(text, pos);
        if (code < 0)
        {
            out += text[pos++];
            continue;
        }
        pos += 7;
        if (code >= 0xD800 && code <= 0xDBFF)
        {
            // Characters beyond the BMP come as two escaped UTF-16 halves.
            long low = escapeAt(text, pos);
            if (low >= 0xDC00 && low <= 0xDFFF)
            {
                pos += 7;
                appendUtf8(out, static_cast<std::uint32_t>(0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00)));
                continue;
            }
            code = 0xFFFD;
        }
        else if (code >= 0xDC00 && code <= 0xDFFF)
            code = 0xFFFD;
        appendUtf8(out, static_cast<std::uint32_t>(code));
    }
    text = std::move(out);
}

void RichTextCollector::begin()
{
    m_text.clear();
    m_runs.clear();
    m_inT = m_inPhonetic = m_inRun = m_inRunProperties = m_anyFont = false;
}

void RichTextCollector::startElement(std::string_view name, const XmlAttributes& a)
{
    if (m_inPhonetic)
        return;
    if (name == "rPh")
    {
        m_inPhonetic = true;
        return;
    }
    if (name == "t")
    {
        m_inT = true;
        return;
    }
    if (name == "r")
    {
        m_inRun = true;
        m_runs.emplace_back();
        return;
    }
    if (name == "rPr" && m_inRun)
    {
        m_inRunProperties = true;
        m_runs.back().hasFont = true;
        m_anyFont = true;
        return;
    }
    if (!m_inRunProperties || m_runs.empty())
        return;
    model::TextRun::Font& font = m_runs.back().font;
    if (name == "rFont")
        font.name = a.get("val");
    else if (name == "sz")
        font.size = a.number("val", 0);
    else if (name == "b")
        font.bold = a.flag("val", true);
    else if (name == "i")
        font.italic = a.flag("val", true);
    else if (name == "strike")
        font.strike = a.flag("val", true);
    else if (name == "u")
        font.underline = static_cast<std::uint8_t>(underlineOf(a.get("val")));
    else if (name == "vertAlign")
        font.verticalAlign = static_cast<std::uint8_t>(verticalAlignOf(a.get("val")));
    else if (name == "color" && m_colors)
    {
        if (auto rgb = m_colors->resolve(a))
        {
            font.hasColor = true;
            font.r = rgb->r;
            font.g = rgb->g;
            font.b = rgb->b;
        }
    }
}

void RichTextCollector::endElement(std::string_view name)
{
    if (name == "rPh")
        m_inPhonetic = false;
    else if (m_inPhonetic)
        return;
    else if (name == "t")
        m_inT = false;
    else if (name == "r")
        m_inRun = false;
    else if (name == "rPr")
        m_inRunProperties = false;
}

void RichTextCollector::text(std::string_view text)
{
    if (!m_inT || m_inPhonetic)
        return;
    m_text += text;
    if (m_inRun && !m_runs.empty())
        m_runs.back().text += text;
}

void RichTextCollector::finish()
{
    decodeOoxmlEscapes(m_text);
    if (!m_anyFont)
    {
        m_runs.clear();
        return;
    }
    for (model::TextRun& run : m_runs)
        decodeOoxmlEscapes(run.text);
}

} // namespace velquin::engine::xlsx
