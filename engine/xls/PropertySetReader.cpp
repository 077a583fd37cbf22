// Property set streams: a header, a list of sections, and typed values in each section.
#include "engine/xls/PropertySetReader.h"

#include "engine/xls/BiffStrings.h"
#include "engine/xls/ByteCursor.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velquin::engine::xls {

namespace {

constexpr std::uint16_t VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_BOOL = 11, VT_I1 = 16, VT_UI1 = 17, VT_UI2 = 18,
                        VT_UI4 = 19, VT_INT = 22, VT_UINT = 23, VT_LPSTR = 30, VT_LPWSTR = 31, VT_FILETIME = 64;

constexpr std::uint8_t kUserDefinedFmtid[16] = {0x05, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10,
                                                0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE};
constexpr std::size_t kMaxProperties = 4096;

struct Value
{
    std::uint16_t type = 0;
    std::string text;
    double number = 0;
    bool boolean = false;
    std::uint64_t time = 0;
};

struct Section
{
    std::map<std::uint32_t, Value> values;
    std::vector<std::pair<std::uint32_t, std::string>> dictionary; ///< in file order
    std::span<const std::uint8_t> fmtid;
};

std::string bytesz(std::span<const std::uint8_t> b, CodepageDecoder& decoder)
{
    std::size_t n = 0;
    while (n < b.size() && b[n] != 0)
        ++n;
    return decoder.decode(b.first(n));
}

std::optional<Value> readValue(ByteCursor c, CodepageDecoder& decoder)
{
    Value v;
    v.type = c.u16();
    c.u16();
    switch (v.type)
    {
    case VT_I2:
        v.number = c.i16();
        break;
    case VT_I4:
    case VT_INT:
        v.number = c.i32();
        break;
    case VT_UI4:
    case VT_UINT:
        v.number = c.u32();
        break;
    case VT_I1:
        v.number = static_cast<std::int8_t>(c.u8());
        break;
    case VT_UI1:
        v.number = c.u8();
        break;
    case VT_UI2:
        v.number = c.u16();
        break;
    case VT_R4:
        v.number = static_cast<double>(std::bit_cast<float>(c.u32()));
        break;
    case VT_R8:
        v.number = c.f64();
        break;
    case VT_BOOL:
        v.boolean = c.u16() != 0;
        break;
    case VT_FILETIME:
        v.time = c.u64();
        break;
    case VT_LPSTR: {
        std::size_t n = c.u32();
        if (decoder.codepage() == 1200)
            v.text = utf16UntilNul(c, n / 2);
        else
            v.text = bytesz(c.bytes(std::min(n, c.remaining())), decoder);
        break;
    }
    case VT_LPWSTR: {
        std::size_t n = c.u32();
        v.text = utf16UntilNul(c, std::min(n, c.remaining() / 2));
        break;
    }
    default:
        return std::nullopt;
    }
    if (!c.ok())
        return std::nullopt;
    return v;
}

void readDictionary(ByteCursor c, Section& s, CodepageDecoder& decoder)
{
    std::size_t count = c.u32();
    for (std::size_t i = 0; i < count && i < kMaxProperties && c.ok(); ++i)
    {
        std::uint32_t id = c.u32();
        std::size_t length = c.u32();
        std::string name;
        if (decoder.codepage() == 1200)
        {
            std::size_t start = c.pos();
            name = utf16UntilNul(c, length);
            c.seek(start + length * 2);
            c.skip((4 - (length * 2) % 4) % 4);
        }
        else
        {
            name = bytesz(c.bytes(length), decoder);
        }
        if (c.ok())
            s.dictionary.emplace_back(id, std::move(name));
    }
}

std::vector<Section> readSections(std::span<const std::uint8_t> stream)
{
    std::vector<Section> sections;
    ByteCursor h(stream);
    if (h.u16() != 0xFFFE)
        return sections;
    h.skip(2 + 4 + 16);
    std::size_t count = h.u32();
    for (std::size_t i = 0; i < count && i < 8 && h.ok(); ++i)
    {
        auto fmtid = h.bytes(16);
        std::size_t offset = h.u32();
        if (!h.ok() || offset >= stream.size())
            break;
        ByteCursor sc(stream.subspan(offset));
        std::size_t size = sc.u32();
        if (size > stream.size() - offset)
            size = stream.size() - offset;
        auto body = stream.subspan(offset, size);
        ByteCursor c(body);
        c.u32();
        std::size_t n = c.u32();
        std::vector<std::pair<std::uint32_t, std::size_t>> entries;
        for (std::size_t k = 0; k < n && k < kMaxProperties && c.ok(); ++k)
        {
            std::uint32_t id = c.u32();
            std::size_t off = c.u32();
            if (c.ok() && off < body.size())
                entries.emplace_back(id, off);
        }
        Section s;
        s.fmtid = fmtid;
        CodepageDecoder decoder(1252);
        for (const auto& [id, off] : entries)
            if (id == 1)
                if (auto v = readValue(ByteCursor(body.subspan(off)), decoder); v && v->type == VT_I2)
                    decoder.setCodepage(static_cast<std::uint16_t>(static_cast<std::int16_t>(v->number)));
        for (const auto& [id, off] : entries)
        {
            if (id == 0)
                readDictionary(ByteCursor(body.subspan(off)), s, decoder);
            else if (id != 1)
                if (auto v = readValue(ByteCursor(body.subspan(off)), decoder))
                    s.values[id] = std::move(*v);
        }
        sections.push_back(std::move(s));
    }
    return sections;
}

std::string text(const Section& s, std::uint32_t id)
{
    auto it = s.values.find(id);
    if (it == s.values.end() || (it->second.type != VT_LPSTR && it->second.type != VT_LPWSTR))
        return {};
    return it->second.text;
}

std::string time(const Section& s, std::uint32_t id)
{
    auto it = s.values.find(id);
    if (it == s.values.end() || it->second.type != VT_FILETIME)
        return {};
    return fileTimeToIso(it->second.time);
}

std::string shortestNumber(double v)
{
    char buf[40];
    for (int precision = 1; precision <= 17; ++precision)
    {
        std::snprintf(buf, sizeof buf, "%.*g", precision, v);
        if (std::strtod(buf, nullptr) == v)
            break;
    }
    return buf;
}

} // namespace

std::string fileTimeToIso(std::uint64_t fileTime)
{
    if (fileTime == 0)
        return {};
    std::int64_t seconds = static_cast<std::int64_t>(fileTime / 10000000ULL) - 11644473600LL;
    if (seconds < 0 || seconds > 253402300799LL)
        return {};
    std::int64_t days = seconds / 86400, rem = seconds % 86400;
    // Civil date from days since 1970-01-01.
    std::int64_t z = days + 719468;
    std::int64_t era = z / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
    std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2)
        ++y;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rem / 3600),
                  static_cast<long long>(rem / 60 % 60), static_cast<long long>(rem % 60));
    return buf;
}

void readSummaryInformation(std::span<const std::uint8_t> stream, model::DocumentProperties& props)
{
    auto sections = readSections(stream);
    if (sections.empty())
        return;
    const Section& s = sections[0];
    props.title = text(s, 2);
    props.subject = text(s, 3);
    props.author = text(s, 4);
    props.keywords = text(s, 5);
    props.description = text(s, 6);
    props.lastAuthor = text(s, 8);
    props.lastPrinted = time(s, 11);
    props.created = time(s, 12);
    props.lastSaved = time(s, 13);
}

void readDocumentSummaryInformation(std::span<const std::uint8_t> stream, model::DocumentProperties& props)
{
    auto sections = readSections(stream);
    if (sections.empty())
        return;
    props.category = text(sections[0], 2);
    props.manager = text(sections[0], 14);
    props.company = text(sections[0], 15);
    for (std::size_t i = 1; i < sections.size(); ++i)
    {
        const Section& s = sections[i];
        if (s.fmtid.size() != 16 || !std::equal(s.fmtid.begin(), s.fmtid.end(), kUserDefinedFmtid))
            continue;
        for (const auto& [id, name] : s.dictionary)
        {
            auto it = s.values.find(id);
            if (it == s.values.end() || name.empty())
                continue;
            const Value& v = it->second;
            model::CustomProperty p;
            p.name = name;
            switch (v.type)
            {
            case VT_LPSTR:
            case VT_LPWSTR:
                p.type = model::CustomProperty::Type::String;
                p.value = v.text;
                break;
            case VT_BOOL:
                p.type = model::CustomProperty::Type::Boolean;
                p.value.assign(1, v.boolean ? '1' : '0');
                break;
            case VT_FILETIME:
                p.type = model::CustomProperty::Type::DateTime;
                p.value = fileTimeToIso(v.time);
                break;
            default:
                p.type = model::CustomProperty::Type::Number;
                p.value = shortestNumber(v.number);
                break;
            }
            props.custom.push_back(std::move(p));
        }
    }
}

} // namespace velquin::engine::xls
