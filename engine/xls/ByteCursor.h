// Bounds-checked little-endian reading of a byte span: every read past the end yields zero and marks the cursor.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace velquin::engine::xls {

class ByteCursor
{
public:
    ByteCursor() = default;
    explicit ByteCursor(std::span<const std::uint8_t> data) : m_data(data) {}

    /// False once any read went past the end.
    bool ok() const { return !m_failed; }
    std::size_t pos() const { return m_pos; }
    std::size_t size() const { return m_data.size(); }
    std::size_t remaining() const { return m_pos <= m_data.size() ? m_data.size() - m_pos : 0; }
    bool atEnd() const { return remaining() == 0; }
    std::span<const std::uint8_t> data() const { return m_data; }

    void seek(std::size_t pos)
    {
        if (pos > m_data.size())
        {
            m_failed = true;
            m_pos = m_data.size();
            return;
        }
        m_pos = pos;
    }

    void skip(std::size_t n)
    {
        if (n > remaining())
        {
            m_failed = true;
            m_pos = m_data.size();
            return;
        }
        m_pos += n;
    }

    std::uint8_t u8()
    {
        if (remaining() < 1)
            return fail<std::uint8_t>();
        return m_data[m_pos++];
    }

    std::uint16_t u16()
    {
        if (remaining() < 2)
            return fail<std::uint16_t>();
        auto v = static_cast<std::uint16_t>(m_data[m_pos] | (m_data[m_pos + 1] << 8));
        m_pos += 2;
        return v;
    }

    std::uint32_t u32()
    {
        if (remaining() < 4)
            return fail<std::uint32_t>();
        std::uint32_t v = static_cast<std::uint32_t>(m_data[m_pos]) |
                          (static_cast<std::uint32_t>(m_data[m_pos + 1]) << 8) |
                          (static_cast<std::uint32_t>(m_data[m_pos + 2]) << 16) |
                          (static_cast<std::uint32_t>(m_data[m_pos + 3]) << 24);
        m_pos += 4;
        return v;
    }

    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }

    std::uint64_t u64()
    {
        std::uint64_t lo = u32();
        std::uint64_t hi = u32();
        return lo | (hi << 32);
    }

    double f64() { return std::bit_cast<double>(u64()); }

    /// The next `n` bytes, or an empty span (and the cursor marked) when fewer remain.
    std::span<const std::uint8_t> bytes(std::size_t n)
    {
        if (n > remaining())
        {
            m_failed = true;
            m_pos = m_data.size();
            return {};
        }
        auto s = m_data.subspan(m_pos, n);
        m_pos += n;
        return s;
    }

    std::span<const std::uint8_t> rest() { return bytes(remaining()); }

private:
    template <typename T> T fail()
    {
        m_failed = true;
        m_pos = m_data.size();
        return T{};
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace velquin::engine::xls
