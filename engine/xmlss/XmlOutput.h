// Buffered XML output: raw markup, escaped text and attribute values, numbers, and patching of bytes already written.
#pragma once

#include "engine/Error.h"
#include "engine/xmlss/ByteSink.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace velquin::engine::xmlss {

/// Collects output in one large buffer and hands it to a ByteSink in blocks. The first failure of the sink is kept
/// and every later write is dropped, so callers check status() once at the end (or now and then to stop early).
///
/// Text is written as UTF-8. Characters XML 1.0 forbids (C0 controls other than tab, line feed and carriage
/// return, U+FFFE, U+FFFF) are left out, and bytes that are not valid UTF-8 become U+FFFD, so that every XML
/// parser reads the file. Excel writes such controls as "&#7;", which conforming parsers reject.
class XmlOutput
{
public:
    explicit XmlOutput(ByteSink& sink, std::size_t bufferSize = 1 << 20);

    /// Markup the caller knows to be well-formed.
    void raw(std::string_view markup);
    void raw(char c);
    /// Element content: & < > escaped; line breaks and carriage returns as character references, as Excel does.
    void text(std::string_view utf8);
    /// Attribute value (without the quotes): text escaping plus " and tab.
    void attribute(std::string_view utf8);
    /// ` name="value"` with the value escaped.
    void attribute(std::string_view name, std::string_view value);
    /// ` name="number"`.
    void attribute(std::string_view name, std::int64_t value);
    void integer(std::int64_t value);
    /// `<name>text</name>` with the text escaped.
    void textElement(std::string_view name, std::string_view text);
    /// `<name>value</name>`.
    void integerElement(std::string_view name, std::int64_t value);
    /// The shortest decimal text that reads back as the same double, in Excel's notation (1.5, 1.23E+22, 6.25E-2).
    void number(double value);

    /// Bytes written so far (flushed or buffered).
    std::uint64_t position() const { return m_flushed + m_used; }
    /// Overwrites bytes already written at `offset` with `bytes` of the same length.
    void patch(std::uint64_t offset, std::string_view bytes);
    /// Hands everything buffered to the sink. Returns status().
    const Status& flush();
    const Status& status() const { return m_status; }
    bool failed() const { return !m_status; }

private:
    void reserve(std::size_t size);
    void escaped(std::string_view utf8, bool inAttribute);
    std::size_t validUtf8Length(const unsigned char* p, const unsigned char* end) const;

    ByteSink& m_sink;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_flushed = 0;
    Status m_status;
};

/// Writes `value` as XmlOutput::number does into `out` (at least 32 bytes); returns the length.
std::size_t formatNumber(double value, char* out);

} // namespace velquin::engine::xmlss
