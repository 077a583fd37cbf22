// Text in BIFF records: UTF-16 and compressed (Latin-1) strings of BIFF8, code-page strings of BIFF5, and
// strings whose characters run on into CONTINUE records.
#pragma once

#include "engine/xls/ByteCursor.h"
#include "engine/xls/RecordStream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xls {

/// Appends UTF-16LE code units as UTF-8; unpaired surrogates become U+FFFD.
void appendUtf16(std::string& out, std::span<const std::uint16_t> units);
/// Reads at most `maxUnits` UTF-16LE code units up to a NUL (which is read too) and returns them as UTF-8.
std::string utf16UntilNul(ByteCursor& c, std::size_t maxUnits);
/// Appends bytes that are the low halves of UTF-16 code units (BIFF8 compressed strings) as UTF-8.
void appendLatin1(std::string& out, std::span<const std::uint8_t> bytes);

/// Decodes 8-bit text in a Windows or Mac code page (BIFF5 strings, code-page property values) to UTF-8.
class CodepageDecoder
{
public:
    explicit CodepageDecoder(int codepage = 1252);
    ~CodepageDecoder();
    CodepageDecoder(const CodepageDecoder&) = delete;
    CodepageDecoder& operator=(const CodepageDecoder&) = delete;

    void setCodepage(int codepage);
    int codepage() const { return m_codepage; }
    void append(std::string& out, std::span<const std::uint8_t> bytes);
    std::string decode(std::span<const std::uint8_t> bytes)
    {
        std::string s;
        append(s, bytes);
        return s;
    }

private:
    int m_codepage = 1252;
    void* m_iconv = nullptr; ///< iconv_t, or nullptr when the code page is unknown (cp1252 is used then)
};

/// Reads strings in the shapes BIFF uses. `biff8` selects the layout; `decoder` is used for BIFF5 bytes.
class StringReader
{
public:
    StringReader(bool biff8, CodepageDecoder& decoder) : m_biff8(biff8), m_decoder(decoder) {}

    /// BIFF8 XLUnicodeString (16-bit count, option byte, characters); BIFF5: 16-bit count and bytes.
    std::string longString(ByteCursor& c);
    /// BIFF8 ShortXLUnicodeString (8-bit count, option byte, characters); BIFF5: 8-bit count and bytes.
    std::string shortString(ByteCursor& c);
    /// `count` characters after an option byte (BIFF8) or `count` bytes (BIFF5).
    std::string chars(ByteCursor& c, std::size_t count);
    /// BIFF8: `count` characters with the given high-byte flag, no option byte.
    std::string rawChars(ByteCursor& c, std::size_t count, bool highByte);

    bool biff8() const { return m_biff8; }
    CodepageDecoder& decoder() { return m_decoder; }

private:
    bool m_biff8;
    CodepageDecoder& m_decoder;
};

/// Reads a record whose CONTINUE payloads were joined to it. Ordinary reads pass over the joins; character
/// reads honour the option byte BIFF8 repeats at the start of each CONTINUE that a string runs into.
class ContinuedReader
{
public:
    explicit ContinuedReader(const Record& record) : m_data(record.data), m_starts(record.continueStarts) {}

    bool ok() const { return !m_failed; }
    std::size_t pos() const { return m_pos; }
    std::size_t remaining() const { return m_pos <= m_data.size() ? m_data.size() - m_pos : 0; }
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    void skip(std::size_t n);
    /// Reads `count` UTF-16 code units, starting with the given high-byte flag, into `out`.
    void chars(std::size_t count, bool highByte, std::vector<std::uint16_t>& out);

private:
    /// Where the current piece ends: the next CONTINUE boundary after pos, or the end.
    std::size_t pieceEnd() const;

    const std::vector<std::uint8_t>& m_data;
    const std::vector<std::size_t>& m_starts;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace velquin::engine::xls
