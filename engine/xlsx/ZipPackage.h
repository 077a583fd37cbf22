// Read access to the parts of a zip package, with limits against oversized and highly compressed entries.
#pragma once

#include "engine/Error.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

struct zip;
struct zip_file;

namespace velquin::engine::xlsx {

/// The most any one part may inflate to, and the largest inflated/compressed ratio accepted for big parts
/// (text compresses about 10:1, a zip bomb 1000:1 and more).
inline constexpr std::uint64_t kMaxPartSize = 2ull << 30;
inline constexpr std::uint64_t kMaxWholePartSize = 256ull << 20;
inline constexpr std::uint64_t kMaxRatio = 1000;
inline constexpr std::uint64_t kRatioCheckFrom = 4ull << 20;

class ZipPackage;

/// One part being inflated piece by piece. Reads never deliver more than the size the directory declares.
class ZipPartStream
{
public:
    ZipPartStream() = default;
    ~ZipPartStream();
    ZipPartStream(const ZipPartStream&) = delete;
    ZipPartStream& operator=(const ZipPartStream&) = delete;

    /// Reads up to `size` bytes into `buffer`; `got` is 0 at the end. Errors: DamagedFile (bad data, checksum).
    Status read(char* buffer, std::size_t size, std::size_t& got);
    std::uint64_t declaredSize() const { return m_size; }
    /// The bytes the part takes in the package (compressed).
    std::uint64_t storedSize() const { return m_storedSize; }
    const std::string& name() const { return m_name; }

private:
    friend class ZipPackage;
    zip_file* m_file = nullptr;
    std::uint64_t m_size = 0;
    std::uint64_t m_storedSize = 0;
    std::uint64_t m_read = 0;
    std::string m_name;
};

class ZipPackage
{
public:
    ZipPackage() = default;
    ~ZipPackage();
    ZipPackage(const ZipPackage&) = delete;
    ZipPackage& operator=(const ZipPackage&) = delete;

    /// Opens the archive. Errors: FileNotFound, FileUnreadable, NotAWorkbook (not a zip), DamagedFile.
    Status open(const std::string& path);
    /// Whether a part of that name exists (part names compare without regard to case).
    bool contains(std::string_view name) const;
    /// Inflates a whole part (at most kMaxWholePartSize). Errors: DamagedFile, LimitExceeded.
    Status read(std::string_view name, std::string& out) const;
    /// Starts inflating a part. Errors: DamagedFile (missing), LimitExceeded.
    Status openStream(std::string_view name, ZipPartStream& stream) const;

private:
    Status locate(std::string_view name, std::uint64_t& index, std::uint64_t& size, std::uint64_t& storedSize,
                  std::uint64_t limit) const;
    void indexBackslashNames();
    /// The entry of a part name, or -1.
    std::int64_t find(std::string_view name) const;

    zip* m_archive = nullptr;
    /// Entries some writers name with backslashes ("xl\\workbook.xml"), by their name with slashes in lower case.
    std::map<std::string, std::int64_t> m_backslashNames;
};

} // namespace velquin::engine::xlsx
