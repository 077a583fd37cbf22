// The OLE2 compound file around a workbook: its workbook stream, its property-set streams and the streams of an
// encrypted package, by name.
#pragma once

#include "engine/Error.h"
#include "engine/xls/ByteSource.h"
#include "engine/xls/CompoundFile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velquin::engine::xls {

/// A stream inside the compound file, read on demand at any offset: only the sectors asked for are read.
class OleStream : public ByteSource
{
public:
    explicit OleStream(std::unique_ptr<CompoundStream> stream) : m_stream(std::move(stream)) {}

    std::uint64_t size() const override { return m_stream->size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override { return m_stream->read(offset, out); }

private:
    std::unique_ptr<CompoundStream> m_stream;
};

class OleContainer
{
public:
    /// Opens the compound file, after checking that its FAT, DIFAT, directory and MiniFAT share no sectors.
    /// Errors: FileNotFound, FileUnreadable, NotAWorkbook, DamagedFile, LimitExceeded (a directory nested too deep).
    Status open(const std::string& path);
    /// Whether the root storage holds a stream of that name (readable or not).
    bool hasStream(const std::string& name) const { return findStream(name).has_value(); }
    /// The stream of that name in the root storage (names compare without case; "Storage/Name" reaches into a
    /// storage), or nullptr when there is none or its chain is damaged.
    std::unique_ptr<OleStream> stream(const std::string& name) const;
    /// The same, saying why a stream that is there cannot be read. Success with `out` empty when there is none.
    /// Errors: DamagedFile.
    Status openStream(const std::string& name, std::unique_ptr<OleStream>& out) const;
    /// Checks that the sectors of the named stream are its own: shared with no structure and no stream checked
    /// before it, and none of them met twice. Check the streams in order of importance: a stream that shares
    /// sectors with an earlier one is the one reported. Success when there is no such stream. Errors: DamagedFile.
    Status checkSectors(const std::string& name);
    /// Reads a whole stream of at most `maxBytes` after checkSectors(); empty when it is missing, larger,
    /// unreadable or shares sectors.
    std::vector<std::uint8_t> readAll(const std::string& name, std::size_t maxBytes);

    const CompoundFile& file() const { return m_file; }

private:
    std::optional<std::size_t> findStream(const std::string& name) const;

    CompoundFile m_file;
    bool m_open = false;
};

} // namespace velquin::engine::xls
