// One stream of a compound file, read through the sectors its chain names, and the bytes of the file under it.
#pragma once

#include "engine/xls/ByteSource.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace velquin::engine::xls {

/// The bytes of a compound file: a file read piece by piece, or bytes held in memory.
class CompoundFileBytes
{
public:
    virtual ~CompoundFileBytes() = default;
    virtual std::uint64_t size() const = 0;
    /// Copies `n` bytes from `offset`; false when they are not all there or cannot be read.
    virtual bool read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const = 0;
};

/// One stream of a compound file, read on demand through the sectors its chain named when it was opened.
class CompoundStream : public ByteSource
{
public:
    CompoundStream(std::shared_ptr<const CompoundFileBytes> bytes, std::vector<std::uint64_t> unitOffsets,
                   unsigned unitShift, std::uint64_t size);

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::shared_ptr<const CompoundFileBytes> m_bytes;
    std::vector<std::uint64_t> m_unitOffsets; ///< file offset of each sector (or mini sector) of the stream
    unsigned m_unitShift;
    std::uint64_t m_size;
};

} // namespace velquin::engine::xls
