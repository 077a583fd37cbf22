// The record framing of the binary workbook parts.
#include "engine/xlsb/RecordReader.h"

#include "engine/Deadline.h"
#include "engine/xlsx/ZipPackage.h"

#include <algorithm>

namespace velquin::engine::xlsb {

namespace {

constexpr std::size_t kChunk = 256 * 1024;
constexpr std::uint32_t kDeadlineEvery = 4096;

} // namespace

RecordReader::RecordReader(std::span<const std::uint8_t> bytes, std::string partName)
    : m_memory(bytes), m_streamDone(true), m_partName(std::move(partName))
{}

RecordReader::RecordReader(xlsx::ZipPartStream& stream) : m_stream(&stream), m_partName(stream.name()) {}

Status RecordReader::damaged(const std::string& what) const
{
    return {EngineErrc::DamagedFile, m_partName + ": " + what + " at offset " + std::to_string(m_consumed)};
}

// Makes at least `wanted` bytes available at m_position; false when the part ends first (status stays ok) or
// the stream fails (status set).
bool RecordReader::fill(std::size_t wanted, Status& status)
{
    if (!m_stream)
        return m_memory.size() - m_position >= wanted;
    if (m_buffer.size() - m_position >= wanted)
        return true;
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(m_position));
    m_position = 0;
    while (m_buffer.size() < wanted && !m_streamDone)
    {
        const std::size_t want = std::max(kChunk, wanted - m_buffer.size());
        const std::size_t old = m_buffer.size();
        m_buffer.resize(old + want);
        std::size_t got = 0;
        status = m_stream->read(reinterpret_cast<char*>(m_buffer.data() + old), want, got);
        m_buffer.resize(old + (status ? got : 0));
        if (!status)
            return false;
        if (got == 0)
            m_streamDone = true;
    }
    return m_buffer.size() >= wanted;
}

bool RecordReader::readVarint(int maxBytes, std::uint32_t& value, Status& status)
{
    value = 0;
    for (int i = 0; i < maxBytes; ++i)
    {
        if (!fill(1, status))
        {
            if (status)
                status = damaged("record header is cut short");
            return false;
        }
        const std::uint8_t byte = m_stream ? m_buffer[m_position] : m_memory[m_position];
        ++m_position;
        ++m_consumed;
        value |= static_cast<std::uint32_t>(byte & 0x7F) << (7 * i);
        if ((byte & 0x80) == 0)
            return true;
    }
    status = damaged("record header is too long");
    return false;
}

Status RecordReader::next(Record& record, bool& more)
{
    more = false;
    // The first record of every part asks too, so that even a small workbook stops once the time is up.
    if (++m_count % kDeadlineEvery == 1)
    {
        if (Status status = checkDeadline(); !status)
            return status;
    }
    Status status;
    if (!fill(1, status))
        return status;
    record.offset = m_consumed;
    std::uint32_t size = 0;
    if (!readVarint(2, record.type, status) || !readVarint(4, size, status))
        return status;
    if (size > kMaxRecordSize)
        return {EngineErrc::LimitExceeded, m_partName + ": record of " + std::to_string(size) + " bytes at offset " +
                                               std::to_string(record.offset)};
    if (!fill(size, status))
        return status ? damaged("record 0x" + std::to_string(record.type) + " is cut short") : status;
    const std::uint8_t* start = m_stream ? m_buffer.data() + m_position : m_memory.data() + m_position;
    record.body = std::span<const std::uint8_t>(start, size);
    m_position += size;
    m_consumed += size;
    more = true;
    return {};
}

Status recordCutShort(const std::string& partName, const Record& record)
{
    return {EngineErrc::DamagedFile, partName + ": record " + std::to_string(record.type) + " at offset " +
                                         std::to_string(record.offset) + " is cut short"};
}

} // namespace velquin::engine::xlsb
