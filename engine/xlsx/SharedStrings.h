// The shared string table of a workbook: one buffer for all plain text, runs only for formatted strings.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xlsx {

class ColorResolver;
class ZipPackage;

class SharedStrings
{
public:
    /// Streams sharedStrings.xml. Errors: DamagedFile, LimitExceeded (the table would take more than `budget`
    /// bytes; 0 means budgetFor(the part's compressed size)).
    Status read(const ZipPackage& package, const std::string& partName, const ColorResolver& colors,
                std::size_t budget = 0);

    std::size_t size() const { return m_offsets.empty() ? 0 : m_offsets.size() - 1; }
    std::string_view text(std::size_t index) const;
    /// Formatted runs of the string, empty for plain text.
    std::span<const model::TextRun> runs(std::size_t index) const;

    /// Appends one item (used by the reader and by tests).
    void add(std::string_view text, std::vector<model::TextRun> runs);
    /// The memory the table takes, about: text, offsets and formatted runs.
    std::size_t footprint() const { return m_footprint; }

    /// The most memory the table may take for a part of `storedSize` compressed bytes. It grows with the part, so
    /// that a small file cannot claim much memory (text compresses far less than 32:1 once it is unique strings),
    /// with a floor for small parts and a ceiling that keeps the offsets in 32 bits.
    static std::size_t budgetFor(std::uint64_t storedSize);
    static constexpr std::size_t kMinBudget = std::size_t(64) << 20;
    static constexpr std::size_t kMaxBudget = std::size_t(1) << 30;

private:
    std::string m_text;
    std::vector<std::uint32_t> m_offsets{0};
    std::size_t m_footprint = 0;
    std::vector<std::pair<std::uint32_t, std::vector<model::TextRun>>> m_rich; ///< sorted by index
};

} // namespace velquin::engine::xlsx
