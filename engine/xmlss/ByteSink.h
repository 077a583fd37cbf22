// Destinations of the writer's bytes: a file on disk, or a string for tests.
#pragma once

#include "engine/Error.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velquin::engine::xmlss {

class Spill;

/// Receives the writer's output in large blocks. The writer never appends after a failure.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    /// Appends `size` bytes. Errors: OutputNotWritable, DiskFull.
    virtual Status append(const char* data, std::size_t size) = 0;
    /// Replaces bytes already appended, starting at `offset`. Errors: OutputNotWritable, DiskFull.
    virtual Status overwrite(std::uint64_t offset, const char* data, std::size_t size) = 0;
    /// A new, empty place for output that must wait for what goes before it (the worksheets wait for the styles
    /// they turn out to use). The default keeps it in memory. Errors: OutputNotWritable.
    virtual Status createSpill(std::unique_ptr<Spill>& spill);
};

/// Output held back until what precedes it has been written, then appended behind it.
class Spill : public ByteSink
{
public:
    /// Appends everything written here to `destination`. Errors: OutputNotWritable, DiskFull.
    virtual Status copyTo(ByteSink& destination) = 0;
};

/// A spill in memory, for destinations that are in memory themselves.
class MemorySpill : public Spill
{
public:
    Status append(const char* data, std::size_t size) override
    {
        m_bytes.append(data, size);
        return {};
    }
    Status overwrite(std::uint64_t offset, const char* data, std::size_t size) override
    {
        m_bytes.replace(static_cast<std::size_t>(offset), size, data, size);
        return {};
    }
    Status copyTo(ByteSink& destination) override { return destination.append(m_bytes.data(), m_bytes.size()); }

private:
    std::string m_bytes;
};

inline Status ByteSink::createSpill(std::unique_ptr<Spill>& spill)
{
    spill = std::make_unique<MemorySpill>();
    return {};
}

/// Collects the output in memory.
class StringSink : public ByteSink
{
public:
    Status append(const char* data, std::size_t size) override
    {
        m_bytes.append(data, size);
        return {};
    }
    Status overwrite(std::uint64_t offset, const char* data, std::size_t size) override
    {
        m_bytes.replace(static_cast<std::size_t>(offset), size, data, size);
        return {};
    }
    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

} // namespace velquin::engine::xmlss
