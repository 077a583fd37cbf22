// A bounds-checked little-endian reader over the bytes of a token stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace velquin::engine::xls::formula {

/// Reads little-endian values from a span; every read says whether the bytes were there and never reads past the end.
class ByteCursor
{
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    std::size_t offset() const { return m_offset; }
    std::size_t remaining() const { return m_bytes.size() - m_offset; }
    bool atEnd() const { return m_offset >= m_bytes.size(); }

    bool readU8(std::uint8_t& value)
    {
        if (remaining() < 1)
            return false;
        value = m_bytes[m_offset++];
        return true;
    }

    /// The next byte without reading it; only when remaining() > 0.
    std::uint8_t peekU8() const { return m_bytes[m_offset]; }

    bool readU16(std::uint16_t& value)
    {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint16_t>(m_bytes[m_offset] | (m_bytes[m_offset + 1] << 8));
        m_offset += 2;
        return true;
    }

    bool readI16(std::int16_t& value)
    {
        std::uint16_t raw = 0;
        if (!readU16(raw))
            return false;
        value = static_cast<std::int16_t>(raw);
        return true;
    }

    bool readU32(std::uint32_t& value)
    {
        std::uint16_t low = 0;
        std::uint16_t high = 0;
        if (remaining() < 4 || !readU16(low) || !readU16(high))
            return false;
        value = static_cast<std::uint32_t>(low) | (static_cast<std::uint32_t>(high) << 16);
        return true;
    }

    bool readDouble(double& value)
    {
        if (remaining() < 8)
            return false;
        std::uint64_t bits = 0;
        for (int i = 7; i >= 0; --i)
            bits = (bits << 8) | m_bytes[m_offset + static_cast<std::size_t>(i)];
        std::memcpy(&value, &bits, sizeof value);
        m_offset += 8;
        return true;
    }

    bool readBytes(std::size_t count, std::span<const std::uint8_t>& bytes)
    {
        if (remaining() < count)
            return false;
        bytes = m_bytes.subspan(m_offset, count);
        m_offset += count;
        return true;
    }

    bool skip(std::size_t count)
    {
        if (remaining() < count)
            return false;
        m_offset += count;
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_offset = 0;
};

} // namespace velquin::engine::xls::formula
