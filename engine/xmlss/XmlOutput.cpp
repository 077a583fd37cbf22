// Buffered XML output with escaping.
#include "engine/xmlss/XmlOutput.h"

#include "engine/Text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

namespace velquin::engine::xmlss {

namespace {

// What a byte needs in element content: 0 = copy, 1 = escape or drop, 2 = start of a multi-byte sequence.
constexpr std::array<std::uint8_t, 256> makeClasses()
{
    std::array<std::uint8_t, 256> classes{};
    for (int c = 0; c < 0x20; ++c)
        classes[static_cast<std::size_t>(c)] = 1;
    classes['&'] = 1;
    classes['<'] = 1;
    classes['>'] = 1;
    classes['"'] = 1;
    for (int c = 0x80; c < 0x100; ++c)
        classes[static_cast<std::size_t>(c)] = 2;
    return classes;
}

constexpr std::array<std::uint8_t, 256> kClasses = makeClasses();

} // namespace

XmlOutput::XmlOutput(ByteSink& sink, std::size_t bufferSize)
    : m_sink(sink), m_buffer(bufferSize < 4096 ? 4096 : bufferSize)
{}

void XmlOutput::reserve(std::size_t size)
{
    if (m_used + size <= m_buffer.size())
        return;
    flush();
    if (size > m_buffer.size())
        m_buffer.resize(size);
}

const Status& XmlOutput::flush()
{
    if (m_used > 0 && m_status)
        m_status = m_sink.append(m_buffer.data(), m_used);
    m_flushed += m_used;
    m_used = 0;
    return m_status;
}

void XmlOutput::raw(std::string_view markup)
{
    reserve(markup.size());
    std::memcpy(m_buffer.data() + m_used, markup.data(), markup.size());
    m_used += markup.size();
}

void XmlOutput::raw(char c)
{
    reserve(1);
    m_buffer[m_used++] = c;
}

void XmlOutput::text(std::string_view utf8)
{
    escaped(utf8, false);
}

void XmlOutput::attribute(std::string_view utf8)
{
    escaped(utf8, true);
}

void XmlOutput::attribute(std::string_view name, std::string_view value)
{
    raw(' ');
    raw(name);
    raw("=\"");
    escaped(value, true);
    raw('"');
}

void XmlOutput::attribute(std::string_view name, std::int64_t value)
{
    raw(' ');
    raw(name);
    raw("=\"");
    integer(value);
    raw('"');
}

void XmlOutput::integer(std::int64_t value)
{
    reserve(24);
    char* begin = m_buffer.data() + m_used;
    const auto result = std::to_chars(begin, begin + 24, value);
    m_used += static_cast<std::size_t>(result.ptr - begin);
}

void XmlOutput::textElement(std::string_view name, std::string_view text)
{
    raw('<');
    raw(name);
    raw('>');
    this->text(text);
    raw("</");
    raw(name);
    raw('>');
}

void XmlOutput::integerElement(std::string_view name, std::int64_t value)
{
    raw('<');
    raw(name);
    raw('>');
    integer(value);
    raw("</");
    raw(name);
    raw('>');
}

void XmlOutput::number(double value)
{
    reserve(32);
    m_used += formatNumber(value, m_buffer.data() + m_used);
}

std::size_t formatNumber(double value, char* out)
{
    if (!std::isfinite(value))
    {
        std::memcpy(out, "0", 1);
        return 1;
    }
    if (value == 0)
        value = 0; // no "-0"
    char digits[32];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    // Excel writes numbers below 0.1 with more than one significant digit in scientific notation (6.25E-2, not
    // 0.0625); the digits stay the shortest that read back as the same double.
    if (std::fabs(value) < 0.1)
    {
        char scientific[32];
        const auto sci =
            std::to_chars(scientific, scientific + sizeof scientific, value, std::chars_format::scientific);
        if (std::memchr(scientific, '.', static_cast<std::size_t>(sci.ptr - scientific)) != nullptr)
        {
            std::memcpy(digits, scientific, static_cast<std::size_t>(sci.ptr - scientific));
            result.ptr = digits + (sci.ptr - scientific);
        }
    }
    const std::size_t length = static_cast<std::size_t>(result.ptr - digits);
    // to_chars writes "1e-05" and "1e+22"; Excel writes "1E-5" and "1E+22".
    std::size_t o = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        if (digits[i] != 'e')
        {
            out[o++] = digits[i];
            continue;
        }
        out[o++] = 'E';
        out[o++] = digits[++i]; // sign
        ++i;
        while (i + 1 < length && digits[i] == '0')
            ++i;
        for (; i < length; ++i)
            out[o++] = digits[i];
    }
    return o;
}

std::size_t XmlOutput::validUtf8Length(const unsigned char* p, const unsigned char* end) const
{
    char32_t code = 0;
    const std::size_t length =
        decodeUtf8(std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(end - p)), code);
    // U+FFFE and U+FFFF are well-formed UTF-8 but no XML document may hold them.
    if (length < 2 || code == 0xFFFE || code == 0xFFFF)
        return 0;
    return length;
}

void XmlOutput::escaped(std::string_view utf8, bool inAttribute)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end)
    {
        const auto* run = p;
        while (p < end && kClasses[*p] == 0)
            ++p;
        if (p > run)
            raw(std::string_view(reinterpret_cast<const char*>(run), static_cast<std::size_t>(p - run)));
        if (p == end)
            break;
        const unsigned char c = *p;
        if (kClasses[c] == 2)
        {
            const std::size_t length = validUtf8Length(p, end);
            if (length == 0)
            {
                raw("\xEF\xBF\xBD");
                ++p;
                continue;
            }
            raw(std::string_view(reinterpret_cast<const char*>(p), length));
            p += length;
            continue;
        }
        ++p;
        switch (c)
        {
        case '&':
            raw("&amp;");
            break;
        case '<':
            raw("&lt;");
            break;
        case '>':
            raw("&gt;");
            break;
        case '"':
            raw(inAttribute ? std::string_view("&quot;") : std::string_view("\""));
            break;
        case '\n':
            raw("&#10;");
            break;
        case '\r':
            raw("&#13;");
            break;
        case '\t':
            raw(inAttribute ? std::string_view("&#9;") : std::string_view("\t"));
            break;
        default:
            break; // forbidden in XML 1.0: left out
        }
    }
}

void XmlOutput::patch(std::uint64_t offset, std::string_view bytes)
{
    if (offset >= m_flushed)
    {
        std::memcpy(m_buffer.data() + (offset - m_flushed), bytes.data(), bytes.size());
        return;
    }
    flush();
    if (m_status)
        m_status = m_sink.overwrite(offset, bytes.data(), bytes.size());
}

} // namespace velquin::engine::xmlss
