// The strings of the binary workbook parts: UTF-16LE text counted in characters, plain or with formatting runs.
#pragma once

#include "engine/xls/SharedStringTable.h"
#include "engine/xls/formula/ByteCursor.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velquin::engine::xlsb {

using ByteCursor = xls::formula::ByteCursor;

/// Sets `utf8` to `count` UTF-16LE code units read from the cursor. False when the bytes run out.
bool readUtf16(ByteCursor& cursor, std::size_t count, std::string& utf8);

/// A 32-bit character count and the characters. False when the count claims more than the bytes hold.
bool readWideString(ByteCursor& cursor, std::string& utf8);

/// As readWideString, where the count 0xFFFFFFFF stands for no string (read as empty).
bool readNullableWideString(ByteCursor& cursor, std::string& utf8);

/// A formatting run of a rich string: from character `first` on, font `font` of the styles part.
struct FontRun
{
    std::uint16_t first = 0;
    std::uint16_t font = 0;
};

/// A string with optional formatting runs and phonetic text (which is passed over). False when cut short.
bool readRichString(ByteCursor& cursor, std::string& utf8, std::vector<FontRun>& runs);

/// The text of the rich string that `start` stands at (already read by readRichString, which gave `marks`), split
/// into runs with their fonts. The marks count UTF-16 units, so the text is split in that form.
std::vector<model::TextRun> splitRichString(ByteCursor start, const std::vector<FontRun>& marks,
                                            const xls::SharedStringTable::FontLookup& fonts);

} // namespace velquin::engine::xlsb
