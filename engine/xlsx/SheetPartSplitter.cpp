// First pass over a worksheet part: everything but the cells.
#include "engine/xlsx/SheetPartSplitter.h"

#include "engine/xlsx/ZipPackage.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace velquin::engine::xlsx {

namespace {

constexpr std::string_view kSheetData = "sheetData";
constexpr std::size_t kCarry = 128;

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

// Where the tag that names `sheetData` at `at` begins ("<" or "</", then an optional prefix), or npos when the word
// is not a tag name there. `closing` asks for an end tag.
std::size_t tagStart(std::string_view text, std::size_t at, bool closing)
{
    std::size_t after = at + kSheetData.size();
    if (after < text.size() && isNameChar(text[after]))
        return std::string_view::npos;
    std::size_t pos = at;
    if (pos > 0 && text[pos - 1] == ':')
    {
        --pos;
        while (pos > 0 && isNameChar(text[pos - 1]) && at - pos < 64)
            --pos;
    }
    if (closing)
        return pos >= 2 && text[pos - 1] == '/' && text[pos - 2] == '<' ? pos - 2 : std::string_view::npos;
    return pos >= 1 && text[pos - 1] == '<' ? pos - 1 : std::string_view::npos;
}

} // namespace

bool SheetDataSkipper::findStart(std::string& skeleton)
{
    std::string_view text(skeleton);
    for (;;)
    {
        std::size_t at = text.find(kSheetData, m_scanFrom);
        if (at == std::string_view::npos)
        {
            m_scanFrom = text.size() > kCarry ? text.size() - kCarry : 0;
            return false;
        }
        if (at + kSheetData.size() >= text.size())
        {
            m_scanFrom = at > kCarry ? at - kCarry : 0;
            return false; // the next piece decides what follows the word
        }
        std::size_t start = tagStart(text, at, false);
        if (start == std::string_view::npos)
        {
            m_scanFrom = at + 1;
            continue;
        }
        std::size_t close = text.find('>', at);
        if (close == std::string_view::npos)
        {
            m_scanFrom = start;
            return false;
        }
        if (text[close - 1] == '/')
        {
            m_phase = Phase::Tail; // <sheetData/>: nothing to skip
            return true;
        }
        // Keep the start tag; what follows it is cells.
        std::string rest = skeleton.substr(close + 1);
        skeleton.resize(close + 1);
        m_phase = Phase::Data;
        m_carry.clear();
        if (!rest.empty())
            findEnd(rest.data(), rest.size(), skeleton);
        return true;
    }
}

void SheetDataSkipper::findEnd(const char* data, std::size_t size, std::string& skeleton)
{
    // The end tag may straddle two pieces, so the last bytes of the previous piece are searched again.
    m_window.assign(m_carry);
    m_window.append(data, size);
    std::string_view text(m_window);
    if (!m_sawLinkFormula)
        m_sawLinkFormula = text.find("HYPERLINK(") != std::string_view::npos;
    for (std::size_t at = text.find(kSheetData); at != std::string_view::npos; at = text.find(kSheetData, at + 1))
    {
        if (at + kSheetData.size() >= text.size())
            break; // what follows the word is in the next piece
        std::size_t start = tagStart(text, at, true);
        if (start != std::string_view::npos)
        {
            skeleton.append(text.substr(start));
            m_phase = Phase::Tail;
            m_window.clear();
            m_window.shrink_to_fit();
            return;
        }
    }
    std::size_t keep = std::min(kCarry, text.size());
    m_carry.assign(text.substr(text.size() - keep));
}

void SheetDataSkipper::feed(const char* data, std::size_t size, std::string& skeleton)
{
    switch (m_phase)
    {
    case Phase::Head:
        skeleton.append(data, size);
        findStart(skeleton);
        break;
    case Phase::Data:
        findEnd(data, size, skeleton);
        break;
    case Phase::Tail:
        skeleton.append(data, size);
        break;
    }
}

Status splitSheetPart(const ZipPackage& package, const std::string& partName, SheetPartSplit& out)
{
    out = {};
    ZipPartStream stream;
    if (Status status = package.openStream(partName, stream); !status)
        return status;
    out.keptWhole = stream.declaredSize() <= kKeepWholeLimit;
    if (out.keptWhole)
    {
        if (Status status = package.read(partName, out.whole); !status)
            return status;
        SheetDataSkipper skipper;
        constexpr std::size_t kPiece = std::size_t(1) << 20;
        for (std::size_t at = 0; at < out.whole.size(); at += kPiece)
            skipper.feed(out.whole.data() + at, std::min(kPiece, out.whole.size() - at), out.skeleton);
        out.hasLinkFormulas = skipper.sawLinkFormula();
        return {};
    }
    constexpr std::size_t kPiece = std::size_t(1) << 20;
    std::string piece(kPiece, '\0');
    SheetDataSkipper skipper;
    for (;;)
    {
        std::size_t got = 0;
        if (Status status = stream.read(piece.data(), piece.size(), got); !status)
            return status;
        if (got == 0)
        {
            out.hasLinkFormulas = skipper.sawLinkFormula();
            return {};
        }
        skipper.feed(piece.data(), got, out.skeleton);
        if (out.skeleton.size() > kMaxSkeletonSize)
            return {EngineErrc::LimitExceeded, partName + " holds more than 64 MB besides its cells"};
    }
}

} // namespace velquin::engine::xlsx
