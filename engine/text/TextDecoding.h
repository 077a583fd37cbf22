// Character sets of text files: the byte order mark, then the charset the file declares, then UTF-8 when the bytes
// are valid UTF-8, else the locale's code page. Everything is turned into UTF-8 with glibc's iconv.
#pragma once

#include "engine/Error.h"

#include <string>
#include <string_view>

namespace velquin::engine::text {

/// The encoding a byte order mark at the start of `bytes` names ("UTF-8", "UTF-16LE", "UTF-16BE"), or "".
/// `length` receives the mark's size.
std::string_view byteOrderMark(std::string_view bytes, std::size_t& length);

/// The charset a web page declares in a <meta> tag (charset=... in its first 4096 bytes, before </head>), or "".
std::string declaredHtmlCharset(std::string_view bytes);

/// The encoding an XML declaration names (<?xml ... encoding="..."?>), or "".
std::string declaredXmlCharset(std::string_view bytes);

/// The code page used for text that declares none and is not UTF-8: the locale's when it has a single-byte one,
/// otherwise Windows-1252 (Western), the code page Excel uses in such locales.
std::string localeCodePage();

/// Converts `bytes` to UTF-8 by the rule above (`declared` may be empty). A byte order mark is dropped, bytes the
/// encoding does not define become U+FFFD. `usedCharset` receives the encoding chosen. Errors: OutOfMemory.
Status decodeText(std::string_view bytes, std::string_view declared, std::string& utf8, std::string* usedCharset = nullptr);

/// True when `text` is well-formed UTF-8.
bool isValidUtf8(std::string_view text);

} // namespace velquin::engine::text
