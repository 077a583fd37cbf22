// A guarded expat parser for package parts: no DTDs or entity declarations, limited nesting, errors with the part
// name and position. Element and attribute names are given without their namespace prefix, so the transitional
// and strict namespaces of OOXML read alike.
#pragma once

#include "engine/Error.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velquin::engine::xlsx {

class ZipPartStream;

/// Attributes of a start tag as expat gives them: name, value, name, value, ..., null.
class XmlAttributes
{
public:
    explicit XmlAttributes(const char** pairs) : m_pairs(pairs) {}
    /// The value of the attribute with that local name, or `fallback` when absent.
    std::string_view get(std::string_view localName, std::string_view fallback = {}) const;
    bool has(std::string_view localName) const;
    /// "1"/"true" is true, "0"/"false" false, anything else or absent gives `fallback`.
    bool flag(std::string_view localName, bool fallback) const;
    /// A decimal integer attribute, or `fallback` when absent or not a number.
    long long integer(std::string_view localName, long long fallback) const;
    /// A decimal number attribute, or `fallback`.
    double number(std::string_view localName, double fallback) const;
    /// The raw pairs, for hot paths that look at every attribute once.
    const char** pairs() const { return m_pairs; }

private:
    const char** m_pairs;
};

/// Receives the events of one part.
class XmlHandler
{
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(std::string_view name, const XmlAttributes& attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    /// Character data, possibly in several pieces.
    virtual void text(std::string_view) {}
    /// A handler may stop the parse with a reason (a limit, a damaged value); the parse then returns it.
    Status stopReason;
};

/// The deepest element nesting accepted; OOXML parts need fewer than 20 levels.
inline constexpr int kMaxXmlDepth = 256;

/// Parses a whole part held in memory. Errors: DamagedFile (not well-formed, DTD), LimitExceeded (nesting), or
/// the handler's stopReason.
Status parseXml(std::string_view data, XmlHandler& handler, std::string_view partName);

/// Parses a part as it inflates. `shouldStop` is not consulted here; handlers stop through stopReason.
Status parseXmlStream(ZipPartStream& stream, XmlHandler& handler);

/// Local name of a qualified name ("x:row" -> "row").
inline std::string_view localName(std::string_view name)
{
    std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

/// Double from decimal text as XML stores it; false when the text is not a finite number.
bool parseXmlNumber(std::string_view text, double& value);

} // namespace velquin::engine::xlsx
