// Which chain owns each sector of a compound file, so that chains sharing sectors are caught before reading.
#pragma once

#include "engine/Error.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velquin::engine::xls {

/// libgsf follows one sector chain at a time and does not expose the allocation table, so it cannot tell when a
/// stream runs through the directory, the FAT or another stream. This class reads the header, the FAT, the MiniFAT
/// and the directory itself and records which chain claimed each sector; a sector claimed twice means two chains
/// share it, or one chain loops. Chains that end early or run past the end of the file are left to libgsf: the
/// walk just stops there.
class CompoundFileAllocation
{
public:
    /// Directory trees deeper than this are refused: libgsf reads the directory recursively.
    static constexpr int kMaxDirectoryDepth = 4096;

    /// Reads the allocation of the compound file at `path` and claims the sectors of the DIFAT, the FAT, the
    /// directory, the MiniFAT and the mini stream. Headers libgsf itself refuses are passed over without error.
    /// Errors: FileUnreadable; DamagedFile when these structures share a sector, or the sector sizes are ones the
    /// format does not allow; LimitExceeded when the directory tree is nested deeper than kMaxDirectoryDepth.
    Status load(const std::string& path);

    /// Claims the sectors of the root storage's streams called `name` (compared without case), as many as their
    /// size needs. Returns success when there is no such stream.
    /// Errors: DamagedFile when one of them shares a sector with a chain claimed before, or comes back to a sector
    /// it already passed, or lives in a mini stream that shares sectors.
    Status claimStream(const std::string& name);

private:
    struct StreamEntry
    {
        std::string name; ///< as stored, UTF-16 code units above 0x7F replaced by 0xFF bytes
        std::uint32_t start = 0;
        std::uint32_t size = 0;
    };

    /// A table of next-sector numbers and the owner of each sector, for regular or for mini sectors.
    struct SectorMap
    {
        std::vector<std::uint32_t> next;
        std::vector<std::uint32_t> owner; ///< 0 = unclaimed, else an index into m_ownerNames
        const char* unit = "sector";
    };

    enum class Parent : std::uint8_t
    {
        None, ///< outside any storage: the root entry, or siblings it should not have
        Root,
        Other
    };

    struct DirectoryItem
    {
        std::uint32_t entry;
        Parent parent;
        int depth; ///< how deep libgsf's recursion is when it reads this entry
    };

    bool readHeader(std::FILE* file);
    Status loadFat(std::FILE* file);
    Status claimFatSector(std::FILE* file, std::uint32_t sector, std::uint64_t ordinal, std::uint32_t owner);
    Status loadDirectory(std::FILE* file);
    bool readEntry(std::FILE* file, std::uint32_t index, std::uint8_t* out) const;
    Status loadMiniStream(std::FILE* file);
    void readTable(std::FILE* file, const std::vector<std::uint32_t>& chain, std::vector<std::uint32_t>& table);
    Status claimChain(SectorMap& map, std::uint32_t start, std::uint64_t count, std::uint32_t owner,
                      std::vector<std::uint32_t>* chain = nullptr);
    std::uint32_t newOwner(std::string name);
    std::uint64_t sectorOffset(std::uint32_t sector) const;
    std::uint32_t headerValue(std::size_t offset) const;

    std::uint64_t m_fileSize = 0;
    unsigned m_sectorShift = 9;
    unsigned m_miniShift = 6;
    std::uint32_t m_miniCutoff = 4096;
    std::uint8_t m_header[512] = {};
    SectorMap m_sectors;
    SectorMap m_mini;
    std::vector<std::uint32_t> m_directoryChain;
    bool m_hasRoot = false;
    std::uint32_t m_rootStart = 0;
    std::uint32_t m_rootSize = 0;
    std::uint32_t m_miniStreamOwner = 0;
    Status m_miniStreamDamage; ///< set when the mini stream shares sectors: nothing inside it can be trusted
    std::vector<StreamEntry> m_rootStreams;
    std::vector<std::string> m_ownerNames{""};
    bool m_checked = false; ///< false when the header was left to libgsf to refuse
};

} // namespace velquin::engine::xls
