// Compound files for tests, written from the format's layout.
#include "tests/support/CompoundFileBuilder.h"

#include <algorithm>
#include <stdexcept>

namespace velquin::test {

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kMiniCutoff = 4096;
constexpr std::size_t kMiniSector = 64;

void put16(std::string& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<char>(v & 0xFF);
    b[at + 1] = static_cast<char>(v >> 8);
}

void put32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[at + static_cast<std::size_t>(k)] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

/// UTF-8 to UTF-16 code units (the names in tests stay in the Basic Multilingual Plane).
std::u16string utf16(const std::string& text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();)
    {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80)
            out += static_cast<char16_t>(c), i += 1;
        else if (c < 0xE0)
            out += static_cast<char16_t>((c & 0x1F) << 6 | (text[i + 1] & 0x3F)), i += 2;
        else
            out += static_cast<char16_t>((c & 0x0F) << 12 | (text[i + 1] & 0x3F) << 6 | (text[i + 2] & 0x3F)), i += 3;
    }
    return out;
}

struct Entry
{
    std::u16string name;
    std::uint8_t type = 2;
    std::uint32_t child = kNoEntry;
    std::uint32_t right = kNoEntry;
    std::uint32_t lastChild = kNoEntry;
    std::uint32_t start = kEndOfChain;
    std::uint32_t size = 0;
};

/// Appends `entry` to the children of `parent`, as the right sibling of the one added before.
std::uint32_t addChild(std::vector<Entry>& entries, std::uint32_t parent, Entry entry)
{
    const auto index = static_cast<std::uint32_t>(entries.size());
    entries.push_back(std::move(entry));
    if (entries[parent].lastChild == kNoEntry)
        entries[parent].child = index;
    else
        entries[entries[parent].lastChild].right = index;
    entries[parent].lastChild = index;
    return index;
}

void putEntry(std::string& directory, std::size_t at, const Entry& e)
{
    const std::size_t units = std::min<std::size_t>(e.name.size(), 31);
    for (std::size_t i = 0; i < units; ++i)
        put16(directory, at + 2 * i, e.name[i]);
    put16(directory, at + 0x40, static_cast<std::uint16_t>((units + 1) * 2));
    directory[at + 0x42] = static_cast<char>(e.type);
    directory[at + 0x43] = 1; // black
    put32(directory, at + 0x44, kNoEntry);
    put32(directory, at + 0x48, e.right);
    put32(directory, at + 0x4C, e.child);
    put32(directory, at + 0x74, e.start);
    put32(directory, at + 0x78, e.size);
}

} // namespace

std::string makeCompoundFile(const std::vector<std::pair<std::string, std::string>>& streams, unsigned sectorShift)
{
    const std::size_t sectorSize = std::size_t(1) << sectorShift;
    const auto sectorsFor = [&](std::size_t bytes) { return (bytes + sectorSize - 1) / sectorSize; };

    std::vector<Entry> entries(1);
    entries[0].name = u"Root Entry";
    entries[0].type = 5;
    std::string data;      // the sectors of the large streams
    std::string mini;      // the mini stream
    std::vector<std::uint32_t> fat;
    std::vector<std::uint32_t> miniFat;
    for (const auto& [path, content] : streams)
    {
        std::uint32_t parent = 0;
        std::string name = path;
        if (const std::size_t slash = path.find('/'); slash != std::string::npos)
        {
            const std::u16string storage = utf16(path.substr(0, slash));
            parent = kNoEntry;
            for (std::uint32_t c = entries[0].child; c != kNoEntry && parent == kNoEntry; c = entries[c].right)
                if (entries[c].name == storage && entries[c].type == 1)
                    parent = c;
            if (parent == kNoEntry)
                parent = addChild(entries, 0, Entry{storage, 1});
            name = path.substr(slash + 1);
        }
        Entry e{utf16(name)};
        e.size = static_cast<std::uint32_t>(content.size());
        if (content.size() >= kMiniCutoff)
        {
            e.start = static_cast<std::uint32_t>(fat.size());
            const std::size_t count = sectorsFor(content.size());
            for (std::size_t k = 1; k <= count; ++k)
                fat.push_back(k == count ? kEndOfChain : e.start + static_cast<std::uint32_t>(k));
            data += content;
            data.resize(fat.size() * sectorSize, '\0');
        }
        else if (!content.empty())
        {
            e.start = static_cast<std::uint32_t>(miniFat.size());
            const std::size_t count = (content.size() + kMiniSector - 1) / kMiniSector;
            for (std::size_t k = 1; k <= count; ++k)
                miniFat.push_back(k == count ? kEndOfChain : e.start + static_cast<std::uint32_t>(k));
            mini += content;
            mini.resize(miniFat.size() * kMiniSector, '\0');
        }
        addChild(entries, parent, std::move(e));
    }

    // The mini stream, the MiniFAT and the directory, each a chain of consecutive sectors.
    const auto appendChain = [&](const std::string& bytes) {
        const auto start = static_cast<std::uint32_t>(fat.size());
        const std::size_t count = sectorsFor(bytes.size());
        for (std::size_t k = 1; k <= count; ++k)
            fat.push_back(k == count ? kEndOfChain : start + static_cast<std::uint32_t>(k));
        data += bytes;
        data.resize(fat.size() * sectorSize, '\0');
        return count == 0 ? kEndOfChain : start;
    };
    entries[0].start = appendChain(mini);
    entries[0].size = static_cast<std::uint32_t>(mini.size());
    std::string miniFatBytes(miniFat.size() * 4, '\0');
    for (std::size_t i = 0; i < miniFat.size(); ++i)
        put32(miniFatBytes, 4 * i, miniFat[i]);
    miniFatBytes.resize(sectorsFor(miniFatBytes.size()) * sectorSize, '\xFF');
    const std::uint32_t miniFatStart = appendChain(miniFatBytes);
    const std::size_t miniFatSectors = sectorsFor(miniFatBytes.size());
    std::string directory(sectorsFor(entries.size() * 128) * sectorSize, '\0');
    for (std::size_t at = 0; at < directory.size(); at += 128)
        putEntry(directory, at, at / 128 < entries.size() ? entries[at / 128] : Entry{u"", 0});
    const std::uint32_t directoryStart = appendChain(directory);

    std::size_t fatSectors = 1;
    while (fatSectors * (sectorSize / 4) < fat.size() + fatSectors)
        ++fatSectors;
    if (fatSectors > 109)
        throw std::length_error("makeCompoundFile writes no DIFAT sectors");
    const auto firstFatSector = static_cast<std::uint32_t>(fat.size());
    fat.resize(fat.size() + fatSectors, kFatSector);
    fat.resize(fatSectors * (sectorSize / 4), kFree);
    std::string fatBytes(fat.size() * 4, '\0');
    for (std::size_t i = 0; i < fat.size(); ++i)
        put32(fatBytes, 4 * i, fat[i]);

    std::string header(std::max<std::size_t>(512, sectorSize), '\0');
    header.replace(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");
    put16(header, 0x18, 0x003E);
    put16(header, 0x1A, sectorShift > 9 ? 4 : 3);
    put16(header, 0x1C, 0xFFFE);
    put16(header, 0x1E, static_cast<std::uint16_t>(sectorShift));
    put16(header, 0x20, 6);
    put32(header, 0x28, sectorShift > 9 ? static_cast<std::uint32_t>(directory.size() / sectorSize) : 0);
    put32(header, 0x2C, static_cast<std::uint32_t>(fatSectors));
    put32(header, 0x30, directoryStart);
    put32(header, 0x38, kMiniCutoff);
    put32(header, 0x3C, miniFatStart);
    put32(header, 0x40, static_cast<std::uint32_t>(miniFatSectors));
    put32(header, 0x44, kEndOfChain);
    for (std::size_t k = 0; k < 109; ++k)
        put32(header, 0x4C + 4 * k, k < fatSectors ? firstFatSector + static_cast<std::uint32_t>(k) : kFree);
    return header + data + fatBytes;
}

} // namespace velquin::test
