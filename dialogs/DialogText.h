// Text rules of the dialog class: NUL-cut reads, the split of a chosen path, character counts of UTF-8 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velquin::dialogs {

/// The text up to, not including, its first NUL; the whole text when it holds none.
std::string cutAtNul(std::string_view text);

/// The folder of a chosen file: the path up to its last "/". A file in the root folder gives "/".
std::string folderOfFile(std::string_view fullPath);

/// The last component of a path: the name and extension of a file.
std::string lastComponent(std::string_view fullPath);

/// Number of characters (code points) in UTF-8 text; a stray byte counts as one character.
std::size_t characterCount(std::string_view utf8);

/// The first `count` characters of UTF-8 text, never splitting a character.
std::string firstCharacters(std::string_view utf8, std::size_t count);

} // namespace velquin::dialogs
