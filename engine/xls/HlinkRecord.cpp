// Hyperlink structures: flags, counted UTF-16 strings and URL or file monikers.
#include "engine/xls/HlinkRecord.h"

#include "engine/xls/BiffStrings.h"
#include "engine/xls/ByteCursor.h"

#include <algorithm>
#include <array>
#include <vector>

namespace velquin::engine::xls {

namespace {

constexpr std::array<std::uint8_t, 16> kUrlMoniker = {0xE0, 0xC9, 0xEA, 0x79, 0xF9, 0xBA, 0xCE, 0x11,
                                                      0x8C, 0x82, 0x00, 0xAA, 0x00, 0x4B, 0xA9, 0x0B};
constexpr std::array<std::uint8_t, 16> kFileMoniker = {0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                       0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::size_t kMaxChars = 1u << 20;

std::string utf16(ByteCursor& c, std::size_t count)
{
    std::vector<std::uint16_t> units;
    units.reserve(std::min(count, c.remaining() / 2));
    for (std::size_t i = 0; i < count && c.ok(); ++i)
        units.push_back(c.u16());
    while (!units.empty() && units.back() == 0)
        units.pop_back();
    std::string s;
    appendUtf16(s, units);
    return s;
}

/// HyperlinkString: a character count (terminating zero included) and UTF-16 characters.
std::string hyperlinkString(ByteCursor& c)
{
    std::size_t n = c.u32();
    if (n > kMaxChars || n * 2 > c.remaining())
    {
        c.skip(c.remaining() + 1);
        return {};
    }
    return utf16(c, n);
}

std::string urlMoniker(ByteCursor& c)
{
    std::size_t length = c.u32();
    if (length > c.remaining())
    {
        c.skip(c.remaining() + 1);
        return {};
    }
    ByteCursor body(c.bytes(length));
    return utf16UntilNul(body, body.remaining() / 2);
}

std::string fileMoniker(ByteCursor& c)
{
    std::size_t up = c.u16();
    std::size_t ansiLength = c.u32();
    auto ansi = c.bytes(ansiLength);
    c.u16();
    c.u16();
    c.skip(20);
    std::size_t unicodeSize = c.u32();
    std::string path;
    std::size_t unicodeBytes = unicodeSize > 0 ? c.u32() : 0;
    // The key value is always 3 in a well-formed extension; Excel for Mac writes other bytes there and a
    // Mac path where the UTF-16 path belongs, so fall back to the ANSI path then.
    std::uint16_t key = unicodeSize > 0 ? c.u16() : 0;
    if (unicodeSize > 0 && key == 3 && c.ok())
    {
        path = utf16(c, unicodeBytes / 2);
    }
    else
    {
        std::size_t n = 0;
        while (n < ansi.size() && ansi[n] != 0)
            ++n;
        CodepageDecoder decoder(1252);
        path = decoder.decode(ansi.first(n));
    }
    std::replace(path.begin(), path.end(), '\\', '/');
    std::string prefix;
    for (std::size_t i = 0; i < up && i < 256; ++i)
        prefix += "../";
    return prefix + path;
}

} // namespace

std::optional<model::Hyperlink> parseHlink(std::span<const std::uint8_t> payload)
{
    ByteCursor c(payload);
    model::Hyperlink link;
    link.firstRow = c.u16();
    link.lastRow = c.u16();
    link.firstCol = c.u16();
    link.lastCol = c.u16();
    c.skip(16);
    c.u32();
    std::uint32_t flags = c.u32();
    if (!c.ok())
        return std::nullopt;
    if (flags & 0x10)
        hyperlinkString(c); // display name
    if (flags & 0x80)
        hyperlinkString(c); // target frame
    std::string target;
    if (flags & 0x01)
    {
        if (flags & 0x100)
        {
            target = hyperlinkString(c);
        }
        else
        {
            auto clsid = c.bytes(16);
            if (clsid.size() == 16 && std::equal(clsid.begin(), clsid.end(), kUrlMoniker.begin()))
                target = urlMoniker(c);
            else if (clsid.size() == 16 && std::equal(clsid.begin(), clsid.end(), kFileMoniker.begin()))
                target = fileMoniker(c);
            else
                return std::nullopt; // a moniker we cannot follow: its length is unknown
        }
    }
    std::string location;
    if (flags & 0x08)
        location = hyperlinkString(c);
    if (!c.ok())
        return std::nullopt;
    if (!location.empty())
        target += "#" + location;
    if (target.empty())
        return std::nullopt;
    link.href = std::move(target);
    if (link.lastRow < link.firstRow)
        std::swap(link.lastRow, link.firstRow);
    if (link.lastCol < link.firstCol)
        std::swap(link.lastCol, link.firstCol);
    return link;
}

std::optional<model::Hyperlink> parseHlinkTooltip(std::span<const std::uint8_t> payload)
{
    ByteCursor c(payload);
    c.u16();
    model::Hyperlink link;
    link.firstRow = c.u16();
    link.lastRow = c.u16();
    link.firstCol = c.u16();
    link.lastCol = c.u16();
    if (!c.ok())
        return std::nullopt;
    link.screenTip = utf16(c, c.remaining() / 2);
    return link;
}

} // namespace velquin::engine::xls
