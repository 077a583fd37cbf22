// Random-access bytes of a BIFF stream: from memory (tests) or from a stream inside a compound file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velquin::engine::xls {

class ByteSource
{
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    /// Copies `out.size()` bytes from `offset`; false when they are not all there or cannot be read.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

class MemorySource : public ByteSource
{
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace velquin::engine::xls
