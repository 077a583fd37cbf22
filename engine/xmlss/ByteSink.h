// Destinations of the writer's bytes: a file on disk, or a string for tests.
#pragma once

#include "engine/Error.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velquin::engine::xmlss {

/// Receives the writer's output in large blocks. The writer never appends after a failure.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    /// Appends `size` bytes. Errors: OutputNotWritable, DiskFull.
    virtual Status append(const char* data, std::size_t size) = 0;
    /// Replaces bytes already appended, starting at `offset`. Errors: OutputNotWritable, DiskFull.
    virtual Status overwrite(std::uint64_t offset, const char* data, std::size_t size) = 0;
};

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
