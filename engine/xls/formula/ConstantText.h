// Text of the constants a formula can hold: strings, errors, booleans and array constants.
#pragma once

#include "engine/Error.h"
#include "engine/xls/formula/ByteCursor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace velquin::engine::xls::formula {

/// Turns a BIFF5 byte string (in the workbook's code page) into UTF-8.
using ByteStringDecoder = std::function<std::string(std::span<const std::uint8_t>)>;

/// Windows-1252 bytes as UTF-8: what BIFF5 strings are when the workbook names no other code page.
std::string windows1252ToUtf8(std::span<const std::uint8_t> bytes);

/// A string constant in formula syntax: in double quotes, quotes inside doubled.
std::string quotedString(std::string_view text);

/// "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A" or "#GETTING_DATA" for an error code;
/// nothing for codes the format does not define.
std::optional<std::string_view> errorText(std::uint8_t code);

/// Reads the characters of a BIFF8 string whose character count is already known: the option byte (bit 0 =
/// two-byte characters) and the characters. Gives false when the bytes run out.
bool readBiff8Characters(ByteCursor& cursor, std::size_t count, std::string& utf8);

/// Reads `count` UTF-16LE characters (no option byte). Gives false when the bytes run out.
bool readUtf16Characters(ByteCursor& cursor, std::size_t count, std::string& utf8);

/// Reads one array constant ({1,2;3,4}) from the extra data that follows the tokens and renders it with ","
/// between columns and ";" between rows. Version 12 (the binary workbook format) counts rows and columns in four
/// bytes each and numbers its value types 0 number, 1 string, 2 boolean, 4 error. DamagedFile when the data is short or holds an unknown value type.
Status readArrayConstant(ByteCursor& extra, int biffVersion, const ByteStringDecoder& decodeByteString,
                         std::string& text);

} // namespace velquin::engine::xls::formula
