// The record framing of the binary workbook parts: a type and a size, each a little-endian base-128 number.
#pragma once

#include "engine/Error.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xlsx {
class ZipPartStream;
}

namespace velquin::engine::xlsb {

struct Record
{
    std::uint32_t type = 0;
    std::span<const std::uint8_t> body; ///< valid until the next call of RecordReader::next
    std::uint64_t offset = 0;           ///< where the record starts in its part
};

/// Reads the records of one part, from memory or as the part inflates, keeping at most one record and one chunk.
class RecordReader
{
public:
    /// Reads from bytes the caller keeps alive.
    RecordReader(std::span<const std::uint8_t> bytes, std::string partName);
    /// Reads from an open stream.
    explicit RecordReader(xlsx::ZipPartStream& stream);

    /// The next record; `more` is false at the end of the part. Errors: DamagedFile (a header or body cut
    /// short), LimitExceeded (a record larger than kMaxRecordSize), Timeout (checked every few thousand records).
    Status next(Record& record, bool& more);

    const std::string& partName() const { return m_partName; }

    /// No record of any part comes near this; the cap keeps a forged size from claiming memory.
    static constexpr std::uint32_t kMaxRecordSize = 64u << 20;

private:
    bool fill(std::size_t wanted, Status& status);
    bool readVarint(int maxBytes, std::uint32_t& value, Status& status);
    Status damaged(const std::string& what) const;

    xlsx::ZipPartStream* m_stream = nullptr;
    std::span<const std::uint8_t> m_memory;
    std::vector<std::uint8_t> m_buffer; ///< bytes inflated but not yet read (stream only)
    std::size_t m_position = 0;         ///< read position in m_memory or m_buffer
    std::uint64_t m_consumed = 0;       ///< part offset of m_position
    bool m_streamDone = false;
    std::uint32_t m_count = 0;
    std::string m_partName;
};

/// Hands each record of the part to `handle(record, more)` until the part ends, `handle` fails or it sets `more`
/// to false. Errors: those of RecordReader::next and of `handle`.
template <typename Handle> Status forEachRecord(RecordReader& reader, Handle&& handle)
{
    Record record;
    bool more = true;
    while (true)
    {
        if (Status status = reader.next(record, more); !status)
            return status;
        if (!more)
            return {};
        if (Status status = handle(record, more); !status)
            return status;
        if (!more)
            return {};
    }
}

/// The DamagedFile error of a record of `partName` whose body ends before its fields do.
Status recordCutShort(const std::string& partName, const Record& record);

/// Hands each record of the part to `records.read(record, status)`, which returns false for a record cut short.
/// Errors: those of RecordReader::next, DamagedFile for a record cut short, and those `read` gives.
template <typename Records>
Status readRecords(RecordReader& reader, Records& records)
{
    return forEachRecord(reader, [&](const Record& record, bool&) -> Status {
        Status status;
        if (!records.read(record, status))
            return recordCutShort(reader.partName(), record);
        return status;
    });
}

} // namespace velquin::engine::xlsb
