// A guarded expat parser for package parts.
#include "engine/xlsx/XmlParser.h"

#include "engine/Deadline.h"
#include "engine/xlsx/InflatePipeline.h"
#include "engine/xlsx/ZipPackage.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <expat.h>
#include <memory>

namespace velquin::engine::xlsx {

std::string_view XmlAttributes::get(std::string_view name, std::string_view fallback) const
{
    for (const char** p = m_pairs; p && *p; p += 2)
    {
        if (localName(*p) == name)
            return p[1];
    }
    return fallback;
}

bool XmlAttributes::has(std::string_view name) const
{
    for (const char** p = m_pairs; p && *p; p += 2)
    {
        if (localName(*p) == name)
            return true;
    }
    return false;
}

bool XmlAttributes::flag(std::string_view name, bool fallback) const
{
    std::string_view value = get(name);
    if (value == "1" || value == "true" || value == "on")
        return true;
    if (value == "0" || value == "false" || value == "off")
        return false;
    return fallback;
}

long long XmlAttributes::integer(std::string_view name, long long fallback) const
{
    std::string_view value = get(name);
    long long result = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), result);
    if (value.empty() || error != std::errc() || end != value.data() + value.size())
    {
        double real = 0;
        if (parseXmlNumber(value, real) && std::fabs(real) < 9e15)
            return static_cast<long long>(real);
        return fallback;
    }
    return result;
}

double XmlAttributes::number(std::string_view name, double fallback) const
{
    double result = 0;
    return parseXmlNumber(get(name), result) ? result : fallback;
}

bool parseXmlNumber(std::string_view text, double& value)
{
    while (!text.empty() &&
           (text.front() == ' ' || text.front() == '\t' || text.front() == '\n' || text.front() == '\r'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

namespace {

struct ParserState
{
    XML_Parser parser = nullptr;
    XmlHandler* handler = nullptr;
    int depth = 0;
    int extensionDepth = 0; ///< depth of the <extLst> being skipped, 0 when none
    Status refused;
};

void stopWith(ParserState& state, Status status)
{
    if (state.refused)
        state.refused = std::move(status);
    XML_StopParser(state.parser, XML_FALSE);
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    auto& state = *static_cast<ParserState*>(data);
    if (++state.depth > kMaxXmlDepth)
    {
        stopWith(state, {EngineErrc::LimitExceeded, "elements nest deeper than " + std::to_string(kMaxXmlDepth)});
        return;
    }
    // Extension lists repeat element names of the main schema in other namespaces (x15:workbookPr,
    // x14:conditionalFormatting); no reader here uses them, so they are not passed on.
    if (state.extensionDepth > 0)
        return;
    std::string_view local = localName(name);
    if (local == "extLst")
    {
        state.extensionDepth = state.depth;
        return;
    }
    state.handler->startElement(local, XmlAttributes(attributes));
    if (!state.handler->stopReason)
        stopWith(state, state.handler->stopReason);
}

void XMLCALL onEnd(void* data, const XML_Char* name)
{
    auto& state = *static_cast<ParserState*>(data);
    if (state.extensionDepth > 0)
    {
        if (state.depth-- == state.extensionDepth)
            state.extensionDepth = 0;
        return;
    }
    --state.depth;
    state.handler->endElement(localName(name));
    if (!state.handler->stopReason)
        stopWith(state, state.handler->stopReason);
}

void XMLCALL onText(void* data, const XML_Char* text, int length)
{
    auto& state = *static_cast<ParserState*>(data);
    if (state.extensionDepth > 0)
        return;
    state.handler->text(std::string_view(text, static_cast<std::size_t>(length)));
}

// Package parts never declare a document type; refusing it shuts out entity expansion attacks entirely.
void XMLCALL onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
{
    auto& state = *static_cast<ParserState*>(data);
    stopWith(state, {EngineErrc::DamagedFile, "a document type declaration is not allowed"});
}

void XMLCALL onEntity(void* data, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                      const XML_Char*, const XML_Char*)
{
    auto& state = *static_cast<ParserState*>(data);
    stopWith(state, {EngineErrc::DamagedFile, "entity declarations are not allowed"});
}

struct ParserDeleter
{
    void operator()(XML_ParserStruct* parser) const { XML_ParserFree(parser); }
};

class GuardedParser
{
public:
    GuardedParser(XmlHandler& handler, std::string_view partName) : m_partName(partName)
    {
        m_parser.reset(XML_ParserCreate("UTF-8"));
        m_state.parser = m_parser.get();
        m_state.handler = &handler;
        if (!m_parser)
            return;
        XML_SetUserData(m_parser.get(), &m_state);
        XML_SetElementHandler(m_parser.get(), onStart, onEnd);
        XML_SetCharacterDataHandler(m_parser.get(), onText);
        XML_SetStartDoctypeDeclHandler(m_parser.get(), onDoctype);
        XML_SetEntityDeclHandler(m_parser.get(), onEntity);
        XML_SetParamEntityParsing(m_parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    }

    bool valid() const { return m_parser != nullptr; }

    // Feeds `length` bytes already placed in the parser's buffer (or `data` when given).
    Status feed(const char* data, std::size_t length, bool last)
    {
        XML_Status result = XML_STATUS_OK;
        if (data)
            result = XML_Parse(m_parser.get(), data, static_cast<int>(length), last);
        else
            result = XML_ParseBuffer(m_parser.get(), static_cast<int>(length), last);
        if (result == XML_STATUS_OK)
            return {};
        return failure();
    }

    void* buffer(std::size_t length) { return XML_GetBuffer(m_parser.get(), static_cast<int>(length)); }

private:
    Status failure() const
    {
        std::string where = std::string(m_partName) + " line " +
                            std::to_string(XML_GetCurrentLineNumber(m_parser.get())) + " column " +
                            std::to_string(XML_GetCurrentColumnNumber(m_parser.get()));
        if (!m_state.refused)
            return {m_state.refused.code(), where + ": " + m_state.refused.detail()};
        XML_Error code = XML_GetErrorCode(m_parser.get());
        if (code == XML_ERROR_NO_MEMORY)
            return {EngineErrc::OutOfMemory, where};
        return {EngineErrc::DamagedFile, where + ": " + XML_ErrorString(code)};
    }

    std::unique_ptr<XML_ParserStruct, ParserDeleter> m_parser;
    ParserState m_state;
    std::string_view m_partName;
};

constexpr std::size_t kChunk = 1 << 20;

} // namespace

Status parseXml(std::string_view data, XmlHandler& handler, std::string_view partName)
{
    if (Status status = checkDeadline(); !status)
        return status;
    GuardedParser parser(handler, partName);
    if (!parser.valid())
        return {EngineErrc::OutOfMemory, std::string(partName)};
    // expat takes int lengths, so large parts go in pieces.
    while (data.size() > kChunk)
    {
        if (Status status = parser.feed(data.data(), kChunk, false); !status)
            return status;
        if (Status status = checkDeadline(); !status)
            return status;
        data.remove_prefix(kChunk);
    }
    return parser.feed(data.data(), data.size(), true);
}

Status parseXmlStream(ZipPartStream& stream, XmlHandler& handler)
{
    if (Status status = checkDeadline(); !status)
        return status;
    GuardedParser parser(handler, stream.name());
    if (!parser.valid())
        return {EngineErrc::OutOfMemory, stream.name()};
    // Small parts are not worth a thread.
    if (stream.declaredSize() <= kChunk * 4)
    {
        for (;;)
        {
            void* buffer = parser.buffer(kChunk);
            if (!buffer)
                return {EngineErrc::OutOfMemory, stream.name()};
            std::size_t got = 0;
            if (Status status = stream.read(static_cast<char*>(buffer), kChunk, got); !status)
                return status;
            if (Status status = parser.feed(nullptr, got, got == 0); !status)
                return status;
            if (got == 0)
                return {};
            if (Status status = checkDeadline(); !status)
                return status;
        }
    }
    InflatePipeline pipeline(stream);
    for (;;)
    {
        std::string_view piece;
        if (Status status = pipeline.next(piece); !status)
            return status;
        if (Status status = parser.feed(piece.empty() ? "" : piece.data(), piece.size(), piece.empty()); !status)
            return status;
        if (piece.empty())
            return {};
        if (Status status = checkDeadline(); !status)
            return status;
    }
}

} // namespace velquin::engine::xlsx
