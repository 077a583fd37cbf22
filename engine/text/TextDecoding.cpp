// Character sets of text files, turned into UTF-8 with iconv.
#include "engine/text/TextDecoding.h"

#include "engine/Deadline.h"
#include "engine/Text.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace velquin::engine::text {

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), lowerAscii);
    return out;
}

// The value after `key` up to a quote, semicolon, space or ">".
std::string valueAfter(std::string_view text, std::size_t at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == '"' || text[at] == '\''))
        ++at;
    std::size_t end = at;
    while (end < text.size() && end - at < 40 &&
           (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-' || text[end] == '_' ||
            text[end] == '.' || text[end] == ':'))
        ++end;
    return std::string(text.substr(at, end - at));
}

// Names web pages use that iconv spells otherwise.
std::string iconvName(std::string_view charset)
{
    std::string name = lowered(charset);
    if (name == "macintosh" || name == "x-mac-roman" || name == "mac")
        return "MACINTOSH";
    if (name == "unicode" || name == "utf-16")
        return "UTF-16LE";
    if (name == "x-sjis" || name == "sjis")
        return "SHIFT_JIS";
    if (name == "ks_c_5601-1987")
        return "CP949";
    if (name == "iso-8859-1" || name == "latin1" || name == "us-ascii" || name == "ascii")
        return "WINDOWS-1252"; // browsers and Excel read these labels as Windows-1252
    return name;
}

struct Converter
{
    iconv_t handle = reinterpret_cast<iconv_t>(-1);
    explicit Converter(const std::string& from) : handle(iconv_open("UTF-8", from.c_str())) {}
    ~Converter()
    {
        if (valid())
            iconv_close(handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return handle != reinterpret_cast<iconv_t>(-1); }
};

Status convert(std::string_view bytes, const std::string& from, std::string& utf8, bool& known)
{
    Converter converter(from);
    known = converter.valid();
    if (!known)
        return {};
    const std::size_t unit = from.rfind("UTF-16", 0) == 0 ? 2 : from.rfind("UTF-32", 0) == 0 ? 4 : 1;
    utf8.clear();
    utf8.reserve(bytes.size() + bytes.size() / 2 + 16);
    char buffer[16384];
    auto* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t steps = 0;
    while (inLeft > 0)
    {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t result = iconv(converter.handle, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        utf8.append(buffer, static_cast<std::size_t>(out - buffer));
        if (result != static_cast<std::size_t>(-1))
            continue;
        if (error == E2BIG)
        {
            if (++steps % 256 == 0)
            {
                if (Status status = checkDeadline(); !status)
                    return status;
            }
            continue;
        }
        // An undefined or cut sequence: one replacement character, then the next unit.
        utf8.append("\xEF\xBF\xBD");
        const std::size_t skip = std::min(unit, inLeft);
        in += skip;
        inLeft -= skip;
        iconv(converter.handle, nullptr, nullptr, nullptr, nullptr);
    }
    return {};
}

} // namespace

std::string_view byteOrderMark(std::string_view bytes, std::size_t& length)
{
    length = 0;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
    {
        length = 3;
        return "UTF-8";
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE")
    {
        length = 2;
        return "UTF-16LE";
    }
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF")
    {
        length = 2;
        return "UTF-16BE";
    }
    return {};
}

std::string declaredHtmlCharset(std::string_view bytes)
{
    const std::string head = lowered(bytes.substr(0, 4096));
    std::size_t from = 0;
    for (;;)
    {
        const std::size_t meta = head.find("<meta", from);
        if (meta == std::string::npos)
            return {};
        const std::size_t end = head.find('>', meta);
        if (end == std::string::npos)
            return {};
        const std::string_view tag = std::string_view(head).substr(meta, end - meta);
        const std::size_t charset = tag.find("charset=");
        if (charset != std::string_view::npos)
            return valueAfter(tag, charset + 8);
        from = end;
    }
}

std::string declaredXmlCharset(std::string_view bytes)
{
    const std::string head = lowered(bytes.substr(0, 512));
    if (head.rfind("<?xml", 0) != 0)
        return {};
    const std::size_t end = head.find("?>");
    const std::size_t encoding = head.find("encoding=");
    if (encoding == std::string::npos || (end != std::string::npos && encoding > end))
        return {};
    return valueAfter(head, encoding + 9);
}

std::string localeCodePage()
{
    // Read from the environment without changing the process's locale.
    static const std::string codePage = [] {
        std::string name;
        if (locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr)))
        {
            const char* codeset = nl_langinfo_l(CODESET, locale);
            name = codeset ? codeset : "";
            freelocale(locale);
        }
        const std::string lower = lowered(name);
        if (lower.empty() || lower == "utf-8" || lower == "ansi_x3.4-1968" || lower == "ascii")
            return std::string("WINDOWS-1252");
        return name;
    }();
    return codePage;
}

bool isValidUtf8(std::string_view text)
{
    while (!text.empty())
    {
        if (static_cast<unsigned char>(text.front()) < 0x80)
        {
            text.remove_prefix(1);
            continue;
        }
        char32_t code = 0;
        const std::size_t length = decodeUtf8(text, code);
        if (length == 0)
            return false;
        text.remove_prefix(length);
    }
    return true;
}

Status decodeText(std::string_view bytes, std::string_view declared, std::string& utf8, std::string* usedCharset)
{
    std::size_t markLength = 0;
    std::string charset(byteOrderMark(bytes, markLength));
    bytes.remove_prefix(markLength);
    if (charset.empty() && !declared.empty())
        charset = iconvName(declared);
    if (charset == "utf-8" || charset == "utf8")
        charset = "UTF-8";
    bool known = false;
    if (!charset.empty() && charset != "UTF-8")
    {
        if (Status status = convert(bytes, charset, utf8, known); !status)
            return status;
    }
    if (!known)
    {
        if (charset == "UTF-8" || isValidUtf8(bytes))
        {
            charset = "UTF-8";
            if (!isValidUtf8(bytes))
                return convert(bytes, charset, utf8, known);
            utf8.assign(bytes);
        }
        else
        {
            charset = localeCodePage();
            if (Status status = convert(bytes, charset, utf8, known); !status)
                return status;
            if (!known)
            {
                charset = "WINDOWS-1252";
                if (Status status = convert(bytes, charset, utf8, known); !status)
                    return status;
            }
        }
    }
    if (usedCharset)
        *usedCharset = charset;
    return {};
}

} // namespace velquin::engine::text
