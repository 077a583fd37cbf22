// Compound files read by hand. We do not use a library here: the ones packaged for Debian read the directory
// recursively, refuse files Excel opens (a header announcing more FAT sectors than the file holds) and do not let
// us check which chain owns each sector, which is what keeps hostile files from looping or overlapping.
#include "engine/xls/CompoundFile.h"

#include "engine/Deadline.h"
#include "engine/Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <cwctype>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::engine::xls {

namespace {

constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
/// Sector numbers from here up are markers (end of chain, FAT sector, ...), never sectors.
constexpr std::uint32_t kFirstMarker = 0xFFFFFFFB;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kHeaderSize = 512;
constexpr std::size_t kHeaderFatSlots = 109;
constexpr std::size_t kEntrySize = 128;
constexpr std::uint64_t kWholeChain = ~std::uint64_t(0);
constexpr std::size_t kEntriesPerDeadlineCheck = 4096;

std::uint32_t le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint64_t sectorsFor(std::uint64_t bytes, unsigned shift)
{
    return (bytes >> shift) + ((bytes & ((std::uint64_t(1) << shift) - 1)) != 0 ? 1 : 0);
}

Status damaged(const std::string& why)
{
    return {EngineErrc::DamagedFile, "The compound file is damaged (" + why + ")."};
}

/// A file read with pread, so that streams opened from it can be read from several places at once.
class FileBytes : public CompoundFileBytes
{
public:
    FileBytes(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
    ~FileBytes() override { ::close(m_fd); }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override
    {
        if (offset > m_size || n > m_size - offset)
            return false;
        while (n > 0)
        {
            const ssize_t got = ::pread(m_fd, out, n, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            out += got;
            n -= static_cast<std::size_t>(got);
            offset += static_cast<std::uint64_t>(got);
        }
        return true;
    }

private:
    int m_fd;
    std::uint64_t m_size;
};

class MemoryBytes : public CompoundFileBytes
{
public:
    explicit MemoryBytes(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override
    {
        if (offset > m_bytes.size() || n > m_bytes.size() - offset)
            return false;
        if (n > 0)
            std::memcpy(out, m_bytes.data() + offset, n);
        return true;
    }

private:
    std::vector<std::uint8_t> m_bytes;
};

/// The entry's name: UTF-16 as the format says, or single bytes as some writers store it, which shows as a NUL
/// byte right where the stored length says the name ends.
std::u16string entryName(const std::uint8_t* raw)
{
    const std::size_t length = le16(raw + 0x40);
    std::u16string name;
    if (length == 0 || length > 64)
        return name;
    const auto* nul = static_cast<const std::uint8_t*>(std::memchr(raw, 0, 64));
    if (nul && static_cast<std::size_t>(nul - raw) + 1 == length)
        return std::u16string(raw, nul);
    for (std::size_t i = 0; i + 1 < length; i += 2)
    {
        const std::uint16_t unit = le16(raw + i);
        if (unit == 0)
            break;
        name += static_cast<char16_t>(unit);
    }
    return name;
}

/// UTF-8 to UTF-16; nullopt for malformed UTF-8.
std::optional<std::u16string> toUtf16(std::string_view text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();)
    {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t code = lead;
        if (lead >= 0xC2 && lead < 0xE0)
            extra = 1, code = lead & 0x1F;
        else if (lead >= 0xE0 && lead < 0xF0)
            extra = 2, code = lead & 0x0F;
        else if (lead >= 0xF0 && lead < 0xF5)
            extra = 3, code = lead & 0x07;
        else if (lead >= 0x80)
            return std::nullopt;
        if (extra >= text.size() - i && extra > 0)
            return std::nullopt;
        for (std::size_t k = 1; k <= extra; ++k)
        {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            code = code << 6 | (next & 0x3F);
        }
        i += extra + 1;
        if (code >= 0x10000)
        {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        }
        else
            out += static_cast<char16_t>(code);
    }
    return out;
}

std::string toUtf8(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        appendUtf8(out, code);
    }
    return out;
}

/// Compound files compare names by their upper-case forms, code unit by code unit.
char16_t upper(char16_t unit)
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (unit < 0x80)
        return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
    if (!utf8 || (unit >= 0xD800 && unit < 0xE000))
        return unit;
    const auto folded = towupper_l(static_cast<wint_t>(unit), utf8);
    return folded < 0x10000 ? static_cast<char16_t>(folded) : unit;
}

bool sameName(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return upper(x) == upper(y); });
}

} // namespace

Status CompoundFile::open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info = {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    {
        if (fd >= 0)
            ::close(fd);
        return {EngineErrc::FileUnreadable, path};
    }
    m_bytes = std::make_shared<FileBytes>(fd, static_cast<std::uint64_t>(info.st_size));
    return load();
}

Status CompoundFile::open(std::vector<std::uint8_t> bytes)
{
    m_bytes = std::make_shared<MemoryBytes>(std::move(bytes));
    return load();
}

Status CompoundFile::load()
{
    m_fat = {};
    m_mini = {};
    m_mini.unit = "mini sector";
    m_directoryChain.clear();
    m_miniStreamChain.clear();
    m_miniStreamDamage = {};
    m_entries.clear();
    m_ownerNames.assign(1, "");
    if (Status st = readHeader(); !st)
        return st;
    if (Status st = loadFat(); !st)
        return st;
    if (Status st = loadDirectory(); !st)
        return st;
    return loadMiniStream();
}

Status CompoundFile::readHeader()
{
    static constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    const std::uint64_t fileSize = m_bytes->size();
    const bool whole = readPadded(0, m_header, sizeof m_header, 0);
    if (fileSize < 8 || !std::equal(kSignature, kSignature + 8, m_header))
        return {EngineErrc::NotAWorkbook, "The file is not a compound file."};
    if (!whole)
        return damaged("it ends inside its header");
    m_sectorShift = le16(m_header + 0x1E);
    m_miniShift = le16(m_header + 0x20);
    m_miniCutoff = le32(m_header + 0x38);
    if (m_sectorShift < 7 || m_sectorShift > 16)
        return damaged("its sector size 2^" + std::to_string(m_sectorShift) + " is not a size the format allows");
    if (m_miniShift < 6 || m_miniShift > m_sectorShift)
        return damaged("its mini sector size 2^" + std::to_string(m_miniShift) + " is not a size the format allows");
    // The header fills the whole first sector when sectors are larger than it.
    const std::uint64_t headerBytes = std::max<std::uint64_t>(kHeaderSize, std::uint64_t(1) << m_sectorShift);
    if (fileSize <= headerBytes)
        return damaged("it ends after its header");
    const std::uint64_t sectorCount =
        std::min<std::uint64_t>(sectorsFor(fileSize - headerBytes, m_sectorShift), kFirstMarker);
    m_fat.next.assign(static_cast<std::size_t>(sectorCount), kFreeSector);
    m_fat.owner.assign(static_cast<std::size_t>(sectorCount), 0);
    return {};
}

/// The FAT's sectors are listed in the header and then in the DIFAT, a chain of sectors whose last entry points to
/// the next one. Entries that name sectors past the end of the file (writers announce more FAT sectors than they
/// write) stand for FAT sectors full of free sectors: they describe only sectors past the end.
Status CompoundFile::loadFat()
{
    const std::uint32_t fatOwner = newOwner("the FAT");
    const std::uint32_t difatOwner = newOwner("the DIFAT");
    const std::uint32_t fatSectors = le32(m_header + 0x2C);
    const std::uint32_t inHeader = std::min<std::uint32_t>(fatSectors, kHeaderFatSlots);
    std::uint64_t ordinal = 0;
    for (std::uint32_t i = 0; i < inHeader; ++i)
        if (Status st = loadFatSector(le32(m_header + 0x4C + 4 * std::size_t(i)), ordinal++, fatOwner); !st)
            return st;

    const std::size_t perSector = (std::size_t(1) << m_sectorShift) / 4;
    std::vector<std::uint8_t> bytes(perSector * 4);
    std::uint32_t remaining = fatSectors - inHeader;
    std::uint32_t difat = le32(m_header + 0x44);
    for (std::uint32_t left = le32(m_header + 0x48); remaining > 0 && left > 0; --left)
    {
        if (difat >= m_fat.next.size())
            break; // the rest of the DIFAT lies past the end of the file
        if (Status st = claimChain(m_fat, difat, 1, difatOwner); !st)
            return st;
        readPadded(sectorOffset(difat), bytes.data(), bytes.size(), 0xFF);
        const auto take = static_cast<std::uint32_t>(std::min<std::size_t>(perSector - 1, remaining));
        for (std::uint32_t i = 0; i < take; ++i)
            if (Status st = loadFatSector(le32(bytes.data() + 4 * std::size_t(i)), ordinal++, fatOwner); !st)
                return st;
        remaining -= take;
        difat = le32(bytes.data() + 4 * (perSector - 1));
    }
    return {};
}

/// FAT sector number `ordinal` holds the next-sector numbers of sectors ordinal * (sector size / 4) onwards.
Status CompoundFile::loadFatSector(std::uint32_t sector, std::uint64_t ordinal, std::uint32_t owner)
{
    if (sector >= m_fat.next.size())
        return {};
    if (Status st = claimChain(m_fat, sector, 1, owner); !st)
        return st;
    const std::uint64_t perSector = (std::uint64_t(1) << m_sectorShift) / 4;
    const std::uint64_t first = ordinal * perSector;
    if (first >= m_fat.next.size())
        return {};
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(perSector, m_fat.next.size() - first));
    std::vector<std::uint8_t> bytes(count * 4);
    readPadded(sectorOffset(sector), bytes.data(), bytes.size(), 0xFF);
    for (std::size_t i = 0; i < count; ++i)
        m_fat.next[static_cast<std::size_t>(first) + i] = le32(bytes.data() + 4 * i);
    return {};
}

/// Walks the directory's tree (entry, left sibling, right sibling, child) with an explicit stack: the file decides
/// the tree's shape. Entries met again are passed over.
Status CompoundFile::loadDirectory()
{
    if (Status st =
            claimChain(m_fat, le32(m_header + 0x30), kWholeChain, newOwner("the directory"), &m_directoryChain);
        !st)
        return st;
    const std::uint64_t entryCount = std::uint64_t(m_directoryChain.size()) << m_sectorShift >> 7;
    const std::size_t perSector = (std::size_t(1) << m_sectorShift) / kEntrySize;
    std::vector<bool> seen(static_cast<std::size_t>(entryCount));
    std::vector<PendingEntry> stack{{0, 0, 1}};
    std::array<std::uint8_t, kEntrySize> raw{};
    for (std::size_t visited = 0; !stack.empty(); ++visited)
    {
        if (visited % kEntriesPerDeadlineCheck == kEntriesPerDeadlineCheck - 1)
            if (Status st = checkDeadline(); !st)
                return st;
        const PendingEntry item = stack.back();
        stack.pop_back();
        if (item.id == kNoEntry || item.id >= entryCount || seen[item.id])
            continue;
        seen[item.id] = true;
        if (item.depth > kMaxDirectoryDepth)
            return {EngineErrc::LimitExceeded, "The compound file's directory is nested more than " +
                                                   std::to_string(kMaxDirectoryDepth) + " levels deep."};
        const std::uint32_t sector = m_directoryChain[item.id / perSector];
        readPadded(sectorOffset(sector) + (item.id % perSector) * kEntrySize, raw.data(), raw.size(), 0);
        visitEntry(raw.data(), item, stack);
    }
    if (m_entries.empty())
        return damaged("its directory has no root entry");
    return {};
}

/// Adds a directory entry and queues its siblings and, for a storage, its child. Entries of an unknown type or
/// colour are skipped with what they hold; their siblings belong to the storage around them and are kept.
void CompoundFile::visitEntry(const std::uint8_t* raw, const PendingEntry& item, std::vector<PendingEntry>& stack)
{
    const std::uint8_t type = raw[0x42];
    const std::uint8_t colour = raw[0x43];
    const bool root = item.id == 0;
    // The root is taken whatever its colour: without it there is nothing.
    const bool known = (type == 1 || type == 2 || type == 5) && (colour <= 1 || root);
    if (root && !known)
        return;
    // The root's own siblings are outside every storage.
    if (!root)
    {
        stack.push_back({le32(raw + 0x48), item.parent, item.depth + 1});
        stack.push_back({le32(raw + 0x44), item.parent, item.depth + 1});
    }
    if (!known)
        return;
    Entry entry;
    entry.name = entryName(raw);
    // The first entry is the root whatever type it claims; further roots are storages.
    entry.type = root ? EntryType::Root : type == 2 ? EntryType::Stream : EntryType::Storage;
    entry.parent = root ? 0 : item.parent;
    entry.start = le32(raw + 0x74);
    entry.size = entrySize(raw);
    m_entries.push_back(std::move(entry));
    if (type != 2 || root)
        stack.push_back({le32(raw + 0x4C), m_entries.size() - 1, item.depth + 1});
}

/// The MiniFAT is a structure like the FAT: damage there is fatal. The mini stream (the root entry's chain) only
/// holds small streams, so when it is damaged only the streams inside it are lost.
Status CompoundFile::loadMiniStream()
{
    std::vector<std::uint32_t> miniFatChain;
    if (Status st = claimChain(m_fat, le32(m_header + 0x3C), kWholeChain, newOwner("the MiniFAT"), &miniFatChain);
        !st)
        return st;
    m_miniStreamOwner = newOwner("the mini stream");
    const Entry& root = m_entries.front();
    m_miniStreamDamage =
        claimChain(m_fat, root.start, sectorsFor(root.size, m_sectorShift), m_miniStreamOwner, &m_miniStreamChain);
    const std::uint64_t bytes =
        std::min<std::uint64_t>(root.size, std::uint64_t(m_miniStreamChain.size()) << m_sectorShift);
    const auto miniSectors = static_cast<std::size_t>(sectorsFor(bytes, m_miniShift));
    m_mini.next.assign(miniSectors, kFreeSector);
    m_mini.owner.assign(miniSectors, 0);
    const std::size_t perSector = (std::size_t(1) << m_sectorShift) / 4;
    std::vector<std::uint8_t> bytesOfSector(perSector * 4);
    for (std::size_t k = 0; k < miniFatChain.size() && k * perSector < miniSectors; ++k)
    {
        readPadded(sectorOffset(miniFatChain[k]), bytesOfSector.data(), bytesOfSector.size(), 0xFF);
        const std::size_t count = std::min(perSector, miniSectors - k * perSector);
        for (std::size_t i = 0; i < count; ++i)
            m_mini.next[k * perSector + i] = le32(bytesOfSector.data() + 4 * i);
    }
    return {};
}

std::optional<std::size_t> CompoundFile::find(std::string_view path) const
{
    std::size_t storage = 0;
    std::optional<std::size_t> found;
    while (true)
    {
        const std::size_t slash = path.find('/');
        const std::optional<std::u16string> name = toUtf16(path.substr(0, slash));
        if (!name || m_entries.empty())
            return std::nullopt;
        found.reset();
        for (std::size_t i = 1; i < m_entries.size() && !found; ++i)
            if (m_entries[i].parent == storage && sameName(m_entries[i].name, *name))
                found = i;
        if (!found || slash == std::string_view::npos)
            return found;
        storage = *found;
        path.remove_prefix(slash + 1);
    }
}

std::string CompoundFile::nameOf(const Entry& entry)
{
    return toUtf8(entry.name);
}

Status CompoundFile::claim(std::size_t index)
{
    if (index >= m_entries.size() || m_entries[index].type != EntryType::Stream || m_entries[index].size == 0)
        return {};
    const Entry& entry = m_entries[index];
    // "\005SummaryInformation" is named "SummaryInformation".
    std::string printable;
    for (char c : nameOf(entry))
        if (static_cast<unsigned char>(c) >= 0x20)
            printable += c;
    const std::uint32_t owner = newOwner("the " + printable + " stream");
    if (entry.size < m_miniCutoff)
    {
        if (!m_miniStreamDamage)
            return m_miniStreamDamage;
        return claimChain(m_mini, entry.start, sectorsFor(entry.size, m_miniShift), owner);
    }
    return claimChain(m_fat, entry.start, sectorsFor(entry.size, m_sectorShift), owner);
}

Status CompoundFile::openStream(std::size_t index, std::unique_ptr<CompoundStream>& out) const
{
    out.reset();
    if (index >= m_entries.size() || m_entries[index].type != EntryType::Stream)
        return {EngineErrc::InvalidState, "The compound file has no such stream."};
    const Entry& entry = m_entries[index];
    const std::string what = "the " + nameOf(entry) + " stream";
    const bool mini = entry.size < m_miniCutoff;
    if (mini && entry.size > 0 && !m_miniStreamDamage)
        return m_miniStreamDamage;
    const unsigned shift = mini ? m_miniShift : m_sectorShift;
    const SectorMap& map = mini ? m_mini : m_fat;
    const std::uint64_t count = sectorsFor(entry.size, shift);
    if (count > map.next.size())
        return damaged(what + " claims " + std::to_string(entry.size) + " bytes, more than the file holds");
    std::vector<std::uint32_t> chain;
    if (Status st = walkChain(map, entry.start, count, what, chain); !st)
        return st;
    std::vector<std::uint64_t> offsets(chain.size());
    for (std::size_t k = 0; k < chain.size(); ++k)
    {
        if (!mini)
        {
            offsets[k] = sectorOffset(chain[k]);
            continue;
        }
        const std::uint64_t inMiniStream = std::uint64_t(chain[k]) << m_miniShift;
        offsets[k] = sectorOffset(m_miniStreamChain[static_cast<std::size_t>(inMiniStream >> m_sectorShift)]) +
                     (inMiniStream & ((std::uint64_t(1) << m_sectorShift) - 1));
    }
    // Every sector must be in the file as far as the stream needs it; only the last sector is needed in part.
    for (std::size_t k = 0; k < offsets.size(); ++k)
    {
        const std::uint64_t unit = std::uint64_t(1) << shift;
        const std::uint64_t needed = k + 1 < offsets.size() ? unit : entry.size - (std::uint64_t(k) << shift);
        if (offsets[k] + needed > m_bytes->size())
            return damaged(what + " ends past the end of the file in " + map.unit + " " + std::to_string(chain[k]));
    }
    out = std::make_unique<CompoundStream>(m_bytes, std::move(offsets), shift, entry.size);
    return {};
}

/// Claims up to `count` sectors of the chain from `start` for `owner`. The walk stops at the end of the chain and
/// fails at a sector someone already claimed, or at a sector number past the end of the file.
Status CompoundFile::claimChain(SectorMap& map, std::uint32_t start, std::uint64_t count, std::uint32_t owner,
                                std::vector<std::uint32_t>* chain)
{
    std::uint32_t sector = start;
    for (std::uint64_t walked = 0; walked < count && sector < kFirstMarker; ++walked)
    {
        if (sector >= map.next.size())
            return damaged(m_ownerNames[owner] + " leaves the file at " + map.unit + " " + std::to_string(sector));
        const std::uint32_t previous = map.owner[sector];
        if (previous != 0)
        {
            const std::string where = std::string(map.unit) + " " + std::to_string(sector);
            return damaged(previous == owner ? m_ownerNames[owner] + " comes back to " + where
                                             : m_ownerNames[owner] + " and " + m_ownerNames[previous] + " share " +
                                                   where);
        }
        map.owner[sector] = owner;
        if (chain)
            chain->push_back(sector);
        sector = map.next[sector];
    }
    return {};
}

/// The first `count` sectors of the chain from `start`, which must all be there, each once.
Status CompoundFile::walkChain(const SectorMap& map, std::uint32_t start, std::uint64_t count, const std::string& what,
                               std::vector<std::uint32_t>& chain) const
{
    chain.clear();
    chain.reserve(static_cast<std::size_t>(count));
    std::vector<bool> seen(count > 0 ? map.next.size() : 0);
    std::uint32_t sector = start;
    for (std::uint64_t walked = 0; walked < count; ++walked)
    {
        const std::string where = std::string(map.unit) + " " + std::to_string(sector);
        if (sector >= kFirstMarker)
            return damaged(what + " ends after " + std::to_string(walked) + " of its " + std::to_string(count) + " " +
                           map.unit + "s");
        if (sector >= map.next.size())
            return damaged(what + " leaves the file at " + where);
        if (seen[sector])
            return damaged(what + " comes back to " + where);
        seen[sector] = true;
        chain.push_back(sector);
        sector = map.next[sector];
    }
    return {};
}

std::uint32_t CompoundFile::newOwner(std::string name)
{
    m_ownerNames.push_back(std::move(name));
    return static_cast<std::uint32_t>(m_ownerNames.size() - 1);
}

std::uint64_t CompoundFile::sectorOffset(std::uint32_t sector) const
{
    const std::uint64_t size = std::uint64_t(1) << m_sectorShift;
    return std::max<std::uint64_t>(kHeaderSize, size) + std::uint64_t(sector) * size;
}

/// Files with 512-byte sectors hold at most 4 GB; old writers left the upper half of the size unwritten there.
std::uint64_t CompoundFile::entrySize(const std::uint8_t* raw) const
{
    const std::uint64_t low = le32(raw + 0x78);
    return m_sectorShift <= 9 ? low : low | std::uint64_t(le32(raw + 0x7C)) << 32;
}

/// Reads what the file holds of `n` bytes from `offset` and fills the rest with `fill`: the last sector of a file
/// may be cut short.
bool CompoundFile::readPadded(std::uint64_t offset, std::uint8_t* out, std::size_t n, std::uint8_t fill) const
{
    const std::uint64_t size = m_bytes->size();
    const std::size_t there = offset >= size ? 0 : static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
    std::memset(out + there, fill, n - there);
    return m_bytes->read(offset, out, there) && there == n;
}

} // namespace velquin::engine::xls
