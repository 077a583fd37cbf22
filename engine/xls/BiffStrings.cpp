// String decoding for BIFF records.
#include "engine/xls/BiffStrings.h"

#include "engine/Text.h"

#include <algorithm>
#include <iconv.h>

namespace velquin::engine::xls {

namespace {

const char* iconvName(int codepage)
{
    switch (codepage)
    {
    case 437:
        return "CP437";
    case 737:
        return "CP737";
    case 775:
        return "CP775";
    case 850:
        return "CP850";
    case 852:
        return "CP852";
    case 855:
        return "CP855";
    case 857:
        return "CP857";
    case 860:
        return "CP860";
    case 861:
        return "CP861";
    case 862:
        return "CP862";
    case 863:
        return "CP863";
    case 864:
        return "CP864";
    case 865:
        return "CP865";
    case 866:
        return "CP866";
    case 869:
        return "CP869";
    case 874:
        return "CP874";
    case 932:
        return "CP932";
    case 936:
        return "CP936";
    case 949:
        return "CP949";
    case 950:
        return "CP950";
    case 1250:
        return "CP1250";
    case 1251:
        return "CP1251";
    case 1253:
        return "CP1253";
    case 1254:
        return "CP1254";
    case 1255:
        return "CP1255";
    case 1256:
        return "CP1256";
    case 1257:
        return "CP1257";
    case 1258:
        return "CP1258";
    case 1361:
        return "JOHAB";
    case 10000:
    case 32768:
        return "MACINTOSH";
    case 10006:
        return "MACGREEK";
    case 10007:
        return "MACCYRILLIC";
    case 10029:
        return "MACCENTRALEUROPE";
    case 10079:
        return "MACICELAND";
    case 10081:
        return "MACTURKISH";
    default:
        return nullptr;
    }
}

// Windows-1252 0x80..0x9F; the rest of the code page is Latin-1. Used when iconv lacks a code page.
constexpr std::uint16_t kCp1252High[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                           0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

} // namespace

void appendUtf16(std::string& out, std::span<const std::uint16_t> units)
{
    for (std::size_t i = 0; i < units.size(); ++i)
    {
        std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF)
        {
            std::uint32_t cp = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            appendUtf8(out, cp);
            ++i;
        }
        else if (u >= 0xD800 && u <= 0xDFFF)
        {
            appendUtf8(out, 0xFFFD);
        }
        else
        {
            appendUtf8(out, u);
        }
    }
}

std::string utf16UntilNul(ByteCursor& c, std::size_t maxUnits)
{
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < maxUnits && c.ok(); ++i)
    {
        const std::uint16_t u = c.u16();
        if (u == 0)
            break;
        units.push_back(u);
    }
    std::string s;
    appendUtf16(s, units);
    return s;
}

void appendLatin1(std::string& out, std::span<const std::uint8_t> bytes)
{
    for (std::uint8_t b : bytes)
        appendUtf8(out, b);
}

CodepageDecoder::CodepageDecoder(int codepage)
{
    setCodepage(codepage);
}

CodepageDecoder::~CodepageDecoder()
{
    if (m_iconv)
        iconv_close(static_cast<iconv_t>(m_iconv));
}

void CodepageDecoder::setCodepage(int codepage)
{
    if (m_iconv)
        iconv_close(static_cast<iconv_t>(m_iconv));
    m_iconv = nullptr;
    m_codepage = codepage;
    if (const char* name = iconvName(codepage))
    {
        iconv_t cd = iconv_open("UTF-8", name);
        if (cd != reinterpret_cast<iconv_t>(-1))
            m_iconv = cd;
    }
}

void CodepageDecoder::append(std::string& out, std::span<const std::uint8_t> bytes)
{
    bool ascii = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
    if (ascii)
    {
        out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return;
    }
    if (!m_iconv)
    {
        for (std::uint8_t b : bytes)
            appendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
        return;
    }
    auto cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::size_t start = out.size();
    out.resize(start + bytes.size() * 4 + 8);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char* dst = out.data() + start;
    std::size_t outLeft = out.size() - start;
    while (inLeft > 0)
    {
        std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        if (r != static_cast<std::size_t>(-1))
            break;
        if (outLeft < 4)
            break;
        // An invalid or incomplete byte sequence: show U+FFFD for one byte and go on.
        ++in;
        --inLeft;
        *dst++ = static_cast<char>(0xEF);
        *dst++ = static_cast<char>(0xBF);
        *dst++ = static_cast<char>(0xBD);
        outLeft -= 3;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(static_cast<std::size_t>(dst - out.data()));
}

std::string StringReader::rawChars(ByteCursor& c, std::size_t count, bool highByte)
{
    std::string out;
    if (highByte)
    {
        auto b = c.bytes(count * 2);
        std::vector<std::uint16_t> units(b.size() / 2);
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<std::uint16_t>(b[2 * i] | (b[2 * i + 1] << 8));
        appendUtf16(out, units);
    }
    else
    {
        appendLatin1(out, c.bytes(count));
    }
    return out;
}

std::string StringReader::chars(ByteCursor& c, std::size_t count)
{
    if (!m_biff8)
        return m_decoder.decode(c.bytes(count));
    std::uint8_t flags = c.u8();
    return rawChars(c, count, (flags & 0x01) != 0);
}

std::string StringReader::longString(ByteCursor& c)
{
    std::size_t count = c.u16();
    return chars(c, count);
}

std::string StringReader::shortString(ByteCursor& c)
{
    std::size_t count = c.u8();
    return chars(c, count);
}

std::size_t ContinuedReader::pieceEnd() const
{
    auto it = std::upper_bound(m_starts.begin(), m_starts.end(), m_pos);
    return it == m_starts.end() ? m_data.size() : *it;
}

std::uint8_t ContinuedReader::u8()
{
    if (remaining() < 1)
    {
        m_failed = true;
        return 0;
    }
    return m_data[m_pos++];
}

std::uint16_t ContinuedReader::u16()
{
    std::uint16_t lo = u8();
    std::uint16_t hi = u8();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t ContinuedReader::u32()
{
    std::uint32_t lo = u16();
    std::uint32_t hi = u16();
    return lo | (hi << 16);
}

void ContinuedReader::skip(std::size_t n)
{
    if (n > remaining())
    {
        m_failed = true;
        m_pos = m_data.size();
        return;
    }
    m_pos += n;
}

void ContinuedReader::chars(std::size_t count, bool highByte, std::vector<std::uint16_t>& out)
{
    out.clear();
    while (out.size() < count && !m_failed)
    {
        std::size_t end = pieceEnd();
        if (m_pos >= end)
        {
            m_failed = true;
            return;
        }
        std::size_t width = highByte ? 2 : 1;
        std::size_t avail = (end - m_pos) / width;
        std::size_t take = std::min(avail, count - out.size());
        for (std::size_t i = 0; i < take; ++i)
        {
            if (highByte)
                out.push_back(static_cast<std::uint16_t>(m_data[m_pos + 2 * i] | (m_data[m_pos + 2 * i + 1] << 8)));
            else
                out.push_back(m_data[m_pos + i]);
        }
        m_pos += take * width;
        if (out.size() == count)
            return;
        // The characters go on in the next CONTINUE, which starts with its own option byte.
        m_pos = end;
        if (m_pos >= m_data.size())
        {
            m_failed = true;
            return;
        }
        highByte = (m_data[m_pos++] & 0x01) != 0;
    }
}

} // namespace velquin::engine::xls
