// Sector ownership of a compound file: the FAT, the MiniFAT and the directory read by hand.
#include "engine/xls/CompoundFileAllocation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

namespace velquin::engine::xls {

namespace {

constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
/// Sector numbers from here up are markers (end of chain, FAT sector, ...), never sectors.
constexpr std::uint32_t kFirstMarker = 0xFFFFFFFB;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderFatSectors = 109;
constexpr std::size_t kEntrySize = 128;
constexpr std::uint64_t kWholeChain = ~std::uint64_t(0);

constexpr std::uint8_t kEntryStorage = 1;
constexpr std::uint8_t kEntryStream = 2;
constexpr std::uint8_t kEntryRoot = 5;

struct FileCloser
{
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::uint32_t le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

bool readAt(std::FILE* file, std::uint64_t offset, std::uint8_t* out, std::size_t size)
{
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<long>::max()))
        return false;
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(out, 1, size, file) == size;
}

std::uint64_t sectorsFor(std::uint64_t bytes, unsigned shift)
{
    return (bytes + (std::uint64_t(1) << shift) - 1) >> shift;
}

/// The entry's name as libgsf reads it: normally UTF-16, but some writers store it as single bytes, which shows
/// as a NUL byte right where the stored length says the name ends. Code units past ASCII become 0xFF bytes, which
/// match no name we look for.
std::string entryName(const std::uint8_t* entry)
{
    const std::size_t length = le16(entry + 0x40);
    std::string name;
    if (length == 0 || length > 64)
        return name;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(entry, 0, kEntrySize));
    if (nul && static_cast<std::size_t>(nul - entry) + 1 == length)
        return std::string(entry, nul);
    for (std::size_t i = 0; i < length; i += 2)
    {
        const std::uint16_t unit = le16(entry + i);
        if (unit == 0)
            break;
        name += unit < 0x80 ? static_cast<char>(unit) : '\xFF';
    }
    return name;
}

bool sameNameIgnoringCase(const std::string& a, const std::string& b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

/// "\005SummaryInformation" is shown as "SummaryInformation".
std::string printable(const std::string& name)
{
    std::string out;
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    return out;
}

Status damaged(const std::string& why)
{
    return {EngineErrc::DamagedFile, "The compound file is damaged (" + why + ")."};
}

} // namespace

Status CompoundFileAllocation::load(const std::string& path)
{
    *this = CompoundFileAllocation();
    std::error_code ec;
    m_fileSize = std::filesystem::file_size(path, ec);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (ec || !file)
        return {EngineErrc::FileUnreadable, path};
    if (!readHeader(file.get()))
        return {};
    if (m_sectorShift < 7 || m_sectorShift > 16)
        return damaged("its sectors of " + std::to_string(std::uint64_t(1) << m_sectorShift) +
                       " bytes are not a size the format allows");
    if (m_miniShift < 6)
        return damaged("its mini sectors of " + std::to_string(1u << m_miniShift) +
                       " bytes are not a size the format allows");
    const std::uint64_t headerSize = std::max<std::uint64_t>(kHeaderSize, std::uint64_t(1) << m_sectorShift);
    const std::uint64_t sectorCount = std::min<std::uint64_t>(
        m_fileSize > headerSize ? sectorsFor(m_fileSize - headerSize, m_sectorShift) : 0, kFirstMarker);
    // libgsf refuses these counts itself, with its own message.
    if (headerValue(0x2C) >= sectorCount || headerValue(0x40) >= sectorCount)
        return {};
    m_sectors.next.assign(static_cast<std::size_t>(sectorCount), kFreeSector);
    m_sectors.owner.assign(static_cast<std::size_t>(sectorCount), 0);

    if (Status st = loadFat(file.get()); !st)
        return st;
    if (Status st = loadDirectory(file.get()); !st)
        return st;
    if (!m_hasRoot)
        return {}; // libgsf refuses a directory without a root
    if (Status st = loadMiniStream(file.get()); !st)
        return st;
    m_checked = true;
    return {};
}

bool CompoundFileAllocation::readHeader(std::FILE* file)
{
    static constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (!readAt(file, 0, m_header, sizeof m_header) || !std::equal(kSignature, kSignature + 8, m_header))
        return false;
    m_sectorShift = le16(m_header + 0x1E);
    m_miniShift = le16(m_header + 0x20);
    m_miniCutoff = headerValue(0x38);
    // The sizes libgsf accepts; it refuses the others itself.
    return m_sectorShift >= 6 && m_sectorShift < 31 && m_miniShift <= m_sectorShift &&
           (m_fileSize >> m_sectorShift) >= 1;
}

/// The FAT's sectors are listed in the header and then in the DIFAT, a chain of sectors whose last entry points
/// to the next one.
Status CompoundFileAllocation::loadFat(std::FILE* file)
{
    const std::uint32_t fatOwner = newOwner("the FAT");
    const std::uint32_t difatOwner = newOwner("the DIFAT");
    const std::uint32_t fatSectors = headerValue(0x2C);
    const std::uint32_t inHeader = std::min<std::uint32_t>(fatSectors, kHeaderFatSectors);
    std::uint64_t ordinal = 0;
    for (std::uint32_t i = 0; i < inHeader; ++i)
        if (Status st = claimFatSector(file, headerValue(0x4C + 4 * std::size_t(i)), ordinal++, fatOwner); !st)
            return st;

    const std::size_t perSector = (std::size_t(1) << m_sectorShift) / 4;
    std::vector<std::uint8_t> bytes(perSector * 4);
    std::uint32_t remaining = fatSectors - inHeader;
    std::uint32_t difat = headerValue(0x44);
    for (std::uint32_t left = headerValue(0x48); remaining > 0 && left > 0; --left)
    {
        if (difat >= m_sectors.next.size())
            break; // libgsf cannot read the FAT either and refuses the file
        if (Status st = claimChain(m_sectors, difat, 1, difatOwner); !st)
            return st;
        if (!readAt(file, sectorOffset(difat), bytes.data(), bytes.size()))
            break;
        const auto take = static_cast<std::uint32_t>(std::min<std::size_t>(perSector - 1, remaining));
        for (std::uint32_t i = 0; i < take; ++i)
            if (Status st = claimFatSector(file, le32(bytes.data() + 4 * std::size_t(i)), ordinal++, fatOwner); !st)
                return st;
        remaining -= take;
        difat = le32(bytes.data() + 4 * (perSector - 1));
    }
    return {};
}

/// FAT sector number `ordinal` holds the next-sector numbers of sectors ordinal * (sector size / 4) onwards.
Status CompoundFileAllocation::claimFatSector(std::FILE* file, std::uint32_t sector, std::uint64_t ordinal,
                                              std::uint32_t owner)
{
    // Writers leave unused slots free; libgsf reads them as a FAT sector full of free sectors.
    if (sector == kFreeSector || sector >= m_sectors.next.size())
        return {};
    if (Status st = claimChain(m_sectors, sector, 1, owner); !st)
        return st;
    const std::uint64_t perSector = (std::uint64_t(1) << m_sectorShift) / 4;
    const std::uint64_t first = ordinal * perSector;
    if (first >= m_sectors.next.size())
        return {};
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(perSector, m_sectors.next.size() - first));
    std::vector<std::uint8_t> bytes(count * 4);
    if (!readAt(file, sectorOffset(sector), bytes.data(), bytes.size()))
        return {};
    for (std::size_t i = 0; i < count; ++i)
        m_sectors.next[static_cast<std::size_t>(first) + i] = le32(bytes.data() + 4 * i);
    return {};
}

/// Walks the directory's tree in the order libgsf reads it (entry, left sibling, right sibling, child), with an
/// explicit stack: the file decides the tree's shape. An entry met again, of an unknown type or a stream larger
/// than the file is passed over with everything below it, as libgsf does.
Status CompoundFileAllocation::loadDirectory(std::FILE* file)
{
    if (Status st = claimChain(m_sectors, headerValue(0x30), kWholeChain, newOwner("the directory"), &m_directoryChain);
        !st)
        return st;
    const std::uint64_t entryCount = std::uint64_t(m_directoryChain.size()) << m_sectorShift >> 7;
    std::vector<bool> seen(static_cast<std::size_t>(entryCount));
    std::vector<DirectoryItem> stack{{0, Parent::None, 1}};
    while (!stack.empty())
    {
        const DirectoryItem item = stack.back();
        stack.pop_back();
        if (item.entry == kNoEntry || item.entry >= entryCount || seen[item.entry])
            continue;
        seen[item.entry] = true;
        if (item.depth > kMaxDirectoryDepth)
            return {EngineErrc::LimitExceeded, "The compound file's directory is nested more than " +
                                                   std::to_string(kMaxDirectoryDepth) + " levels deep."};
        std::array<std::uint8_t, kEntrySize> entry{};
        const std::uint8_t type = readEntry(file, item.entry, entry.data()) ? entry[0x42] : 0;
        if (type != kEntryStorage && type != kEntryStream && type != kEntryRoot)
            continue;
        // Entries outside any storage count as storages, the way libgsf repairs a root not marked as one.
        const bool isStorage = type != kEntryStream || item.parent == Parent::None;
        const std::uint32_t size = le32(entry.data() + 0x78);
        if (!isStorage && size > static_cast<std::uint32_t>(m_fileSize))
            continue;
        if (item.entry == 0)
        {
            m_hasRoot = true;
            m_rootStart = le32(entry.data() + 0x74);
            m_rootSize = size;
        }
        else if (item.parent == Parent::Root && type == kEntryStream)
            m_rootStreams.push_back({entryName(entry.data()), le32(entry.data() + 0x74), size});
        if (isStorage)
            stack.push_back(
                {le32(entry.data() + 0x4C), item.entry == 0 ? Parent::Root : Parent::Other, item.depth + 1});
        stack.push_back({le32(entry.data() + 0x48), item.parent, item.depth + 1});
        stack.push_back({le32(entry.data() + 0x44), item.parent, item.depth + 1});
    }
    return {};
}

bool CompoundFileAllocation::readEntry(std::FILE* file, std::uint32_t index, std::uint8_t* out) const
{
    const std::size_t perSector = (std::size_t(1) << m_sectorShift) / kEntrySize;
    const std::uint32_t sector = m_directoryChain[index / perSector];
    return readAt(file, sectorOffset(sector) + (index % perSector) * kEntrySize, out, kEntrySize);
}

/// The MiniFAT is a structure like the FAT: sharing is fatal. The mini stream (the root entry's chain) only holds
/// small streams, so when it shares sectors only the streams inside it are lost.
Status CompoundFileAllocation::loadMiniStream(std::FILE* file)
{
    std::vector<std::uint32_t> miniFatChain;
    if (Status st = claimChain(m_sectors, headerValue(0x3C), kWholeChain, newOwner("the MiniFAT"), &miniFatChain); !st)
        return st;
    m_miniStreamOwner = newOwner("the mini stream");
    std::vector<std::uint32_t> miniStreamChain;
    // Sharing here is kept in m_miniStreamDamage and reported when a stream inside is claimed.
    (void)claimChain(m_sectors, m_rootStart, sectorsFor(m_rootSize, m_sectorShift), m_miniStreamOwner,
                     &miniStreamChain);
    const std::uint64_t bytes =
        std::min<std::uint64_t>(m_rootSize, std::uint64_t(miniStreamChain.size()) << m_sectorShift);
    const auto miniSectors = static_cast<std::size_t>(sectorsFor(bytes, m_miniShift));
    m_mini.unit = "mini sector";
    m_mini.next.assign(miniSectors, kFreeSector);
    m_mini.owner.assign(miniSectors, 0);
    readTable(file, miniFatChain, m_mini.next);
    return {};
}

/// Fills `table` from the 32-bit entries of the sectors of `chain`, as far as the table reaches.
void CompoundFileAllocation::readTable(std::FILE* file, const std::vector<std::uint32_t>& chain,
                                       std::vector<std::uint32_t>& table)
{
    const std::size_t perSector = (std::size_t(1) << m_sectorShift) / 4;
    std::vector<std::uint8_t> bytes;
    for (std::size_t k = 0; k < chain.size() && k * perSector < table.size(); ++k)
    {
        const std::size_t count = std::min(perSector, table.size() - k * perSector);
        bytes.resize(count * 4);
        if (!readAt(file, sectorOffset(chain[k]), bytes.data(), bytes.size()))
            return;
        for (std::size_t i = 0; i < count; ++i)
            table[k * perSector + i] = le32(bytes.data() + 4 * i);
    }
}

Status CompoundFileAllocation::claimStream(const std::string& name)
{
    if (!m_checked)
        return {};
    for (const StreamEntry& stream : m_rootStreams)
    {
        if (!sameNameIgnoringCase(stream.name, name))
            continue;
        const std::uint32_t owner = newOwner("the " + printable(name) + " stream");
        // Streams under the cutoff live in mini sectors inside the mini stream, as libgsf reads them.
        const bool mini = stream.size < m_miniCutoff;
        if (mini && stream.size > 0 && !m_miniStreamDamage)
            return m_miniStreamDamage;
        Status st = mini ? claimChain(m_mini, stream.start, sectorsFor(stream.size, m_miniShift), owner)
                         : claimChain(m_sectors, stream.start, sectorsFor(stream.size, m_sectorShift), owner);
        if (!st)
            return st;
    }
    return {};
}

/// Claims up to `count` sectors of the chain from `start` for `owner`. The walk stops at the end of the chain or
/// at a sector past the end of the table (libgsf's concern), and fails at a sector someone already claimed.
Status CompoundFileAllocation::claimChain(SectorMap& map, std::uint32_t start, std::uint64_t count, std::uint32_t owner,
                                          std::vector<std::uint32_t>* chain)
{
    std::uint32_t sector = start;
    for (std::uint64_t walked = 0; walked < count && sector < map.next.size(); ++walked)
    {
        const std::uint32_t previous = map.owner[sector];
        if (previous != 0)
        {
            const std::string where = std::string(map.unit) + " " + std::to_string(sector);
            Status st =
                damaged(previous == owner ? m_ownerNames[owner] + " comes back to " + where
                                          : m_ownerNames[owner] + " and " + m_ownerNames[previous] + " share " + where);
            if (&map == &m_sectors && (owner == m_miniStreamOwner || previous == m_miniStreamOwner))
                m_miniStreamDamage = st;
            return st;
        }
        map.owner[sector] = owner;
        if (chain)
            chain->push_back(sector);
        sector = map.next[sector];
    }
    return {};
}

std::uint32_t CompoundFileAllocation::newOwner(std::string name)
{
    m_ownerNames.push_back(std::move(name));
    return static_cast<std::uint32_t>(m_ownerNames.size() - 1);
}

std::uint64_t CompoundFileAllocation::sectorOffset(std::uint32_t sector) const
{
    // The header fills the first sector when sectors are larger than it.
    const std::uint64_t size = std::uint64_t(1) << m_sectorShift;
    return std::max<std::uint64_t>(kHeaderSize, size) + std::uint64_t(sector) * size;
}

std::uint32_t CompoundFileAllocation::headerValue(std::size_t offset) const
{
    return le32(m_header + offset);
}

} // namespace velquin::engine::xls
