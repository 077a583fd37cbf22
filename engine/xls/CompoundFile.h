// The compound file (OLE2 structured storage) around .xls workbooks and encrypted packages, read by hand: the
// header, the FAT with its DIFAT, the directory, the MiniFAT and the streams.
#pragma once

#include "engine/Error.h"
#include "engine/xls/CompoundStream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xls {

/// A compound file whose allocation has been checked: the FAT, the DIFAT, the directory, the MiniFAT and the mini
/// stream each own their sectors, and every stream's chain is checked again when the stream is claimed or opened.
///
/// Tolerated as Excel tolerates them: FAT sectors and DIFAT entries that name sectors past the end of the file (the
/// sectors they would describe are free), directory entries of an unknown type or colour (skipped), stream sizes
/// whose upper 32 bits were never written (files with 512-byte sectors), a last sector cut short by the end of the
/// file where nothing in use lies. Refused: chains in use that loop, share sectors, leave the file or end before
/// their size.
class CompoundFile
{
public:
    /// Directory trees deeper than this (counting sibling links) are refused.
    static constexpr int kMaxDirectoryDepth = 4096;

    enum class EntryType : std::uint8_t
    {
        Storage = 1,
        Stream = 2,
        Root = 5
    };

    struct Entry
    {
        std::u16string name;
        EntryType type = EntryType::Stream;
        std::size_t parent = 0; ///< index in entries() of the storage holding it (the root holds itself)
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };

    /// Errors: FileUnreadable; NotAWorkbook when the bytes are not a compound file; DamagedFile when the header,
    /// the FAT, the directory or the MiniFAT is damaged or they share sectors; LimitExceeded when the directory is
    /// nested deeper than kMaxDirectoryDepth; Timeout.
    Status open(const std::string& path);
    /// The same from bytes in memory.
    Status open(std::vector<std::uint8_t> bytes);

    /// The root (index 0) and every entry reachable from it, storages before what they hold.
    const std::vector<Entry>& entries() const { return m_entries; }
    /// The entry at `path` ("Name" in the root, "Storage/Name" below it; UTF-8), names compared without case as
    /// Excel compares them; when several match, the first of them.
    std::optional<std::size_t> find(std::string_view path) const;
    /// The entry's name in UTF-8.
    static std::string nameOf(const Entry& entry);

    /// Claims the sectors of a stream for it alone: fails when they belong to the allocation structures or to a
    /// stream claimed before, when the chain comes back to a sector, leaves the file or ends early. Claim streams
    /// in order of importance: the one claimed later is the one reported. Errors: DamagedFile.
    Status claim(std::size_t entry);
    /// Opens a stream for reading. Errors: DamagedFile when its chain loops, leaves the file or is shorter than its
    /// size, or when it lives in a damaged mini stream; InvalidState when the entry is not a stream.
    Status openStream(std::size_t entry, std::unique_ptr<CompoundStream>& out) const;

private:
    /// The next-sector table of regular or mini sectors, and who claimed each sector.
    struct SectorMap
    {
        std::vector<std::uint32_t> next;
        std::vector<std::uint32_t> owner; ///< 0 = unclaimed, else an index into m_ownerNames
        const char* unit = "sector";
    };

    struct PendingEntry
    {
        std::uint32_t id;
        std::size_t parent;
        int depth;
    };

    Status load();
    Status readHeader();
    Status loadFat();
    Status loadFatSector(std::uint32_t sector, std::uint64_t ordinal, std::uint32_t owner);
    Status loadDirectory();
    void visitEntry(const std::uint8_t* raw, const PendingEntry& item, std::vector<PendingEntry>& stack);
    Status loadMiniStream();
    Status claimChain(SectorMap& map, std::uint32_t start, std::uint64_t count, std::uint32_t owner,
                      std::vector<std::uint32_t>* chain = nullptr);
    Status walkChain(const SectorMap& map, std::uint32_t start, std::uint64_t count, const std::string& what,
                     std::vector<std::uint32_t>& chain) const;
    std::uint32_t newOwner(std::string name);
    std::uint64_t sectorOffset(std::uint32_t sector) const;
    std::uint64_t entrySize(const std::uint8_t* raw) const;
    bool readPadded(std::uint64_t offset, std::uint8_t* out, std::size_t n, std::uint8_t fill) const;

    std::shared_ptr<const CompoundFileBytes> m_bytes;
    std::uint8_t m_header[512] = {};
    unsigned m_sectorShift = 9;
    unsigned m_miniShift = 6;
    std::uint32_t m_miniCutoff = 4096;
    SectorMap m_fat;
    SectorMap m_mini;
    std::vector<std::uint32_t> m_directoryChain;
    std::vector<std::uint32_t> m_miniStreamChain;
    std::uint32_t m_miniStreamOwner = 0;
    Status m_miniStreamDamage; ///< set when the mini stream is damaged: nothing inside it can be trusted
    std::vector<Entry> m_entries;
    std::vector<std::string> m_ownerNames{""};
};

} // namespace velquin::engine::xls
