// The OLE2 compound file around a workbook: its workbook stream and its property-set streams, through libgsf.
#pragma once

#include "engine/Error.h"
#include "engine/xls/ByteSource.h"
#include "engine/xls/CompoundFileAllocation.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velquin::engine::xls {

/// A stream inside the compound file, read on demand.
class OleStream : public ByteSource
{
public:
    explicit OleStream(void* gsfInput);
    ~OleStream() override;
    OleStream(const OleStream&) = delete;
    OleStream& operator=(const OleStream&) = delete;

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    void* m_input; ///< GsfInput*, owned
    std::uint64_t m_size;
};

class OleContainer
{
public:
    OleContainer() = default;
    ~OleContainer();
    OleContainer(const OleContainer&) = delete;
    OleContainer& operator=(const OleContainer&) = delete;

    /// Opens the compound file, after checking that its FAT, DIFAT, directory and MiniFAT share no sectors.
    /// Errors: FileNotFound, FileUnreadable, NotAWorkbook, DamagedFile, LimitExceeded (a directory nested too deep).
    Status open(const std::string& path);
    /// The stream of that name in the root storage (names compare without case), or nullptr.
    std::unique_ptr<OleStream> stream(const std::string& name) const;
    /// Checks that the sectors of the named root stream are its own: shared with no structure and no stream
    /// checked before it, and none of them met twice. Check the streams in order of importance: a stream that
    /// shares sectors with an earlier one is the one reported. Errors: DamagedFile.
    Status checkSectors(const std::string& name);
    /// Reads a whole stream of at most `maxBytes` after checkSectors(); empty when it is missing, larger,
    /// unreadable or shares sectors.
    std::vector<std::uint8_t> readAll(const std::string& name, std::size_t maxBytes);

private:
    void* m_file = nullptr; ///< GsfInfile*
    CompoundFileAllocation m_allocation;
};

} // namespace velquin::engine::xls
