// Record walking over a read-ahead window.
#include "engine/xls/RecordStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace velquin::engine::xls {

namespace {
constexpr std::size_t kWindow = 256 * 1024;
}

bool MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> out)
{
    if (offset > m_bytes.size() || out.size() > m_bytes.size() - offset)
        return false;
    std::memcpy(out.data(), m_bytes.data() + offset, out.size());
    return true;
}

Status damagedRecord(std::uint16_t sidValue, std::uint64_t offset, const std::string& what)
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "Record 0x%04X at offset %llu ", sidValue, static_cast<unsigned long long>(offset));
    return {EngineErrc::DamagedFile, buf + what + "."};
}

RecordStream::RecordStream(ByteSource& source) : m_source(source), m_size(source.size()) {}

bool RecordStream::fill(std::uint64_t offset, std::size_t n)
{
    if (offset >= m_windowStart && offset + n <= m_windowStart + m_windowLength)
        return true;
    if (offset > m_size || n > m_size - offset)
        return false;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kWindow), m_size - offset));
    if (m_window.size() < want)
        m_window.resize(want);
    if (!m_source.read(offset, std::span<std::uint8_t>(m_window.data(), want)))
    {
        m_windowLength = 0;
        return false;
    }
    m_windowStart = offset;
    m_windowLength = want;
    return true;
}

Status RecordStream::readHeader(std::uint16_t& sidOut, std::uint16_t& length)
{
    if (!fill(m_pos, 4))
        return {EngineErrc::DamagedFile,
                "The workbook stream ends inside a record header at offset " + std::to_string(m_pos) + "."};
    const std::uint8_t* p = m_window.data() + (m_pos - m_windowStart);
    sidOut = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    length = static_cast<std::uint16_t>(p[2] | (p[3] << 8));
    return {};
}

Status RecordStream::next(Record& record)
{
    std::uint16_t length = 0;
    if (Status st = readHeader(record.sid, length); !st)
        return st;
    record.offset = m_pos;
    record.continueStarts.clear();
    if (!fill(m_pos + 4, length))
        return damagedRecord(record.sid, m_pos, "is truncated");
    const std::uint8_t* p = m_window.data() + (m_pos + 4 - m_windowStart);
    record.data.assign(p, p + length);
    if (m_decryptor && m_pos >= m_decryptFrom)
        m_decryptor->decrypt(record.sid, m_pos + 4, record.data);
    m_pos += 4u + length;
    return {};
}

Status RecordStream::skipNext(std::uint16_t& sidOut, std::uint64_t& offsetOut)
{
    std::uint16_t length = 0;
    if (Status st = readHeader(sidOut, length); !st)
        return st;
    offsetOut = m_pos;
    if (m_pos + 4 + length > m_size)
        return damagedRecord(sidOut, m_pos, "is truncated");
    m_pos += 4u + length;
    return {};
}

std::uint16_t RecordStream::peekSid()
{
    if (!fill(m_pos, 4))
        return 0;
    const std::uint8_t* p = m_window.data() + (m_pos - m_windowStart);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

Status RecordStream::joinContinues(Record& record, std::size_t maxBytes)
{
    Record part;
    while (peekSid() == sid::Continue)
    {
        if (Status st = next(part); !st)
            return st;
        if (record.data.size() + part.data.size() > maxBytes)
            return {EngineErrc::LimitExceeded, "Record 0x" + std::to_string(record.sid) + " at offset " +
                                                   std::to_string(record.offset) + " is larger than allowed."};
        record.continueStarts.push_back(record.data.size());
        record.data.insert(record.data.end(), part.data.begin(), part.data.end());
    }
    return {};
}

} // namespace velquin::engine::xls
