// Reads a binary comments part (commentsN.bin): the authors and the rich text of each note.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/xls/SharedStringTable.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xlsb {

/// Appends the comments of the part to `out`; `fonts` turns the font indexes of formatted runs into fonts.
/// Errors: DamagedFile, LimitExceeded, Timeout.
Status readBinaryComments(std::span<const std::uint8_t> bytes, const std::string& partName,
                          const xls::SharedStringTable::FontLookup& fonts, std::vector<model::Comment>& out);

} // namespace velquin::engine::xlsb
