// Reading a stream of a compound file: one read for each run of sectors that lie one after another.
#include "engine/xls/CompoundStream.h"

#include <algorithm>

namespace velquin::engine::xls {

CompoundStream::CompoundStream(std::shared_ptr<const CompoundFileBytes> bytes, std::vector<std::uint64_t> unitOffsets,
                               unsigned unitShift, std::uint64_t size)
    : m_bytes(std::move(bytes)), m_unitOffsets(std::move(unitOffsets)), m_unitShift(unitShift), m_size(size)
{
}

bool CompoundStream::read(std::uint64_t offset, std::span<std::uint8_t> out)
{
    if (offset > m_size || out.size() > m_size - offset)
        return false;
    const std::uint64_t unit = std::uint64_t(1) << m_unitShift;
    std::uint8_t* to = out.data();
    std::uint64_t left = out.size();
    while (left > 0)
    {
        // One read for each run of units that lie one after another in the file.
        auto index = static_cast<std::size_t>(offset >> m_unitShift);
        const std::uint64_t start = m_unitOffsets[index] + (offset & (unit - 1));
        std::uint64_t run = std::min(left, unit - (offset & (unit - 1)));
        while (run < left && index + 1 < m_unitOffsets.size() &&
               m_unitOffsets[index + 1] == m_unitOffsets[index] + unit)
        {
            ++index;
            run = std::min(left, run + unit);
        }
        if (!m_bytes->read(start, to, static_cast<std::size_t>(run)))
            return false;
        to += run;
        offset += run;
        left -= run;
    }
    return true;
}

} // namespace velquin::engine::xls
