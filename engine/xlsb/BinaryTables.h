// Reads the binary table parts (tableN.bin) that structured references in formulas name: each table's id, name
// and column names, and writes those references as formula text.
#pragma once

#include "engine/Error.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xlsb {

struct BinaryTable
{
    std::uint32_t id = 0;
    std::string name;
    std::vector<std::string> columns;
};

/// Appends the table a table part describes. Errors: DamagedFile, LimitExceeded, Timeout.
Status readBinaryTable(std::span<const std::uint8_t> bytes, const std::string& partName,
                       std::vector<BinaryTable>& out);

/// "Table1[#All]", "Table1[Sales]", "Table1[[#This Row],[A]:[C]]" for a structured reference's flags (which
/// columns and rows) and columns; nothing when the table or a column is unknown.
std::optional<std::string> structuredReference(const BinaryTable& table, std::uint16_t flags,
                                               std::uint16_t firstColumn, std::uint16_t lastColumn);

} // namespace velquin::engine::xlsb
