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
    /// Streams sharedStrings.xml. Errors: DamagedFile, LimitExceeded (more than kMaxTextBytes of text).
    Status read(const ZipPackage& package, const std::string& partName, const ColorResolver& colors);

    std::size_t size() const { return m_offsets.empty() ? 0 : m_offsets.size() - 1; }
    std::string_view text(std::size_t index) const;
    /// Formatted runs of the string, empty for plain text.
    std::span<const model::TextRun> runs(std::size_t index) const;

    /// Appends one item (used by the reader and by tests).
    void add(std::string_view text, std::vector<model::TextRun> runs);

    static constexpr std::size_t kMaxTextBytes = std::size_t(1) << 30;

private:
    std::string m_text;
    std::vector<std::uint64_t> m_offsets{0};
    std::vector<std::pair<std::uint32_t, std::vector<model::TextRun>>> m_rich; ///< sorted by index
};

} // namespace velquin::engine::xlsx
