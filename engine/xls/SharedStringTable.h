// The workbook's shared strings (SST record and its CONTINUEs), kept whole for LABELSST cells.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/xls/RecordStream.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace velquin::engine::xls {

class SharedStringTable
{
public:
    /// Font of a rich-text run by its FONT index as cells store it.
    using FontLookup = std::function<model::TextRun::Font(std::uint16_t ifnt)>;

    /// Parses an SST record with its CONTINUEs joined. Strings past the end of the data give DamagedFile;
    /// a string count larger than the data can hold is not trusted.
    Status parse(const Record& record, const FontLookup& fonts);

    std::size_t size() const { return m_offsets.empty() ? 0 : m_offsets.size() - 1; }
    std::string_view text(std::size_t index) const;
    /// The rich-text runs of a string, empty for plain text.
    std::span<const model::TextRun> runs(std::size_t index) const;

private:
    std::string m_arena;
    std::vector<std::size_t> m_offsets{0};
    std::unordered_map<std::size_t, std::vector<model::TextRun>> m_runs;
};

/// Splits UTF-16 text into runs at the given (character index, font index) points. The text before the first
/// point is a run without its own font.
std::vector<model::TextRun> splitRuns(std::span<const std::uint16_t> text,
                                      std::span<const std::pair<std::uint16_t, std::uint16_t>> points,
                                      const SharedStringTable::FontLookup& fonts);

} // namespace velquin::engine::xls
