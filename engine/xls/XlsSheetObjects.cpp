// Drawing objects, notes and links of a worksheet: OBJ, TXO and NOTE become comments; HLINK, HLINKTOOLTIP and
// HYPERLINK formulas become the sheet's hyperlinks.
#include "engine/Text.h"
#include "engine/xls/HlinkRecord.h"
#include "engine/xls/XlsSheetReader.h"

#include <algorithm>
#include <cctype>

namespace velquin::engine::xls {

namespace {

constexpr std::size_t kMaxCommentsPerSheet = 1u << 16;
constexpr std::size_t kMaxLinksPerSheet = 1u << 16;

/// The address of a formula of the form HYPERLINK("address", ...): Excel gives such cells a link of their own.
std::optional<std::string> hyperlinkFormulaTarget(std::span<const std::uint8_t> rgce)
{
    constexpr std::uint16_t kHyperlinkFunction = 359;
    if (rgce.size() < 7 || rgce[0] != 0x17)
        return std::nullopt;
    std::size_t n = rgce.size();
    bool funcVar = (rgce[n - 4] & 0x9F) == 0x02 && (rgce[n - 4] & 0x60) != 0;
    auto function = static_cast<std::uint16_t>(rgce[n - 2] | ((rgce[n - 1] & 0x7F) << 8));
    if (!funcVar || function != kHyperlinkFunction)
        return std::nullopt;
    std::size_t cch = rgce[1];
    bool wide = rgce[2] & 0x01;
    std::size_t end = 3 + cch * (wide ? 2 : 1);
    if (end > n - 4)
        return std::nullopt;
    // Only a constant address: then nothing, a friendly-name string or a cell reference up to the call.
    std::size_t rest = n - 4 - end;
    bool plainSecond = rest == 0 || ((rgce[end] & 0x9F) == 0x04 && rest == 5) ||
                       (rgce[end] == 0x17 && rest >= 3 && rest == 3 + rgce[end + 1] * ((rgce[end + 2] & 1) ? 2u : 1u));
    if (!plainSecond)
        return std::nullopt;
    std::string text;
    if (wide)
    {
        std::vector<std::uint16_t> units;
        for (std::size_t i = 0; i < cch; ++i)
            units.push_back(static_cast<std::uint16_t>(rgce[3 + 2 * i] | (rgce[4 + 2 * i] << 8)));
        appendUtf16(text, units);
    }
    else
    {
        appendLatin1(text, rgce.subspan(3, cch));
    }
    if (text.empty())
        return std::nullopt;
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<std::string> absoluteR1C1ToA1(std::string_view text)
{
    std::string out;
    std::size_t i = 0;
    auto number = [&](std::uint64_t& value) {
        std::size_t start = i;
        value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 8)
            value = value * 10 + static_cast<std::uint64_t>(text[i++] - '0');
        return i > start && value > 0;
    };
    for (int part = 0; part < 2; ++part)
    {
        std::uint64_t row = 0, col = 0;
        if (i >= text.size() || text[i++] != 'R' || !number(row) || i >= text.size() || text[i++] != 'C' ||
            !number(col) || col > model::kMaxColumns)
            return std::nullopt;
        std::string letters;
        for (std::uint64_t c = col; c > 0; c = (c - 1) / 26)
            letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
        out += letters + std::to_string(row);
        if (i == text.size())
            return out;
        if (part == 0 && text[i] == ':')
        {
            out.push_back(':');
            ++i;
            continue;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

Status XlsSheetReader::collectObjectRecord(Record& r, model::SheetHeader& header)
{
    switch (r.sid)
    {
    case sid::HLink:
        if (header.hyperlinks.size() < kMaxLinksPerSheet)
            if (auto link = parseHlink(r.bytes()))
                header.hyperlinks.push_back(std::move(*link));
        break;
    case sid::HLinkTooltip:
        if (m_tooltips.size() < kMaxLinksPerSheet)
            if (auto tip = parseHlinkTooltip(r.bytes()))
                m_tooltips.push_back(std::move(*tip));
        break;
    case sid::Obj:
        collectObj(r);
        break;
    case sid::Formula:
        if (m_biff8 && r.data.size() > 22 && m_formulaLinks.size() < kMaxLinksPerSheet)
        {
            std::size_t cce = static_cast<std::size_t>(r.data[20] | (r.data[21] << 8));
            if (22 + cce <= r.data.size())
                if (auto target = hyperlinkFormulaTarget(r.bytes().subspan(22, cce)))
                {
                    model::Hyperlink link;
                    link.firstRow = link.lastRow = static_cast<std::uint32_t>(r.data[0] | (r.data[1] << 8));
                    link.firstCol = link.lastCol = static_cast<std::uint32_t>(r.data[2] | (r.data[3] << 8));
                    link.href = std::move(*target);
                    m_formulaLinks.push_back(std::move(link));
                }
        }
        break;
    case sid::Txo:
        if (Status st = m_stream.joinContinues(r, kMaxJoinedRecord); !st)
            return st;
        collectTxo(r);
        break;
    case sid::Note:
        if (m_notes.size() < kMaxCommentsPerSheet)
            collectNote(r);
        break;
    default:
        break;
    }
    return {};
}

void XlsSheetReader::collectObj(const Record& r)
{
    // The first sub-record is the common object data: its kind and the id that NOTE and TXO refer to.
    ByteCursor c(r.bytes());
    m_lastObjIsNote = false;
    if (!m_biff8)
        return;
    std::uint16_t ft = c.u16();
    c.u16();
    std::uint16_t kind = c.u16();
    std::uint16_t id = c.u16();
    if (!c.ok() || ft != 0x0015)
        return;
    m_lastObjId = id;
    m_lastObjIsNote = kind == 0x19;
}

void XlsSheetReader::collectTxo(const Record& r)
{
    if (!m_lastObjIsNote || m_texts.size() >= kMaxCommentsPerSheet)
        return;
    m_lastObjIsNote = false;
    ContinuedReader c(r);
    c.skip(10);
    std::size_t cch = c.u16();
    std::size_t cbRuns = c.u16();
    if (!c.ok() || r.continueStarts.empty())
    {
        m_texts[m_lastObjId] = {};
        return;
    }
    // The characters start in the first CONTINUE with an option byte, the formatting runs in the one after.
    c.skip(r.continueStarts[0] - c.pos());
    std::uint8_t flags = c.u8();
    std::vector<std::uint16_t> units;
    c.chars(cch, (flags & 0x01) != 0, units);
    if (!c.ok())
        return;
    std::vector<std::pair<std::uint16_t, std::uint16_t>> points;
    auto next = std::upper_bound(r.continueStarts.begin(), r.continueStarts.end(), c.pos() - 1);
    if (next != r.continueStarts.end() && *next >= c.pos())
    {
        c.skip(*next - c.pos());
        for (std::size_t i = 0; i + 8 <= cbRuns && c.remaining() >= 8; i += 8)
        {
            std::uint16_t ich = c.u16();
            std::uint16_t ifnt = c.u16();
            c.u32();
            if (ich < units.size())
                points.emplace_back(ich, ifnt);
        }
    }
    auto fonts = [this](std::uint16_t ifnt) {
        const FontRecord* f = fontAt(m_g.styles, ifnt);
        return f ? toRunFont(*f, m_g.styles.palette) : model::TextRun::Font{};
    };
    m_texts[m_lastObjId] = splitRuns(units, points, fonts);
}

void XlsSheetReader::collectNote(const Record& r)
{
    ByteCursor c(r.bytes());
    std::uint16_t row = c.u16();
    std::uint16_t col = c.u16();
    if (!m_biff8)
    {
        // BIFF5 notes hold their text; longer texts go on in NOTE records whose row is 0xFFFF.
        std::size_t cch = c.u16();
        auto bytes = c.bytes(std::min(cch, c.remaining()));
        std::string text = m_decoder.decode(bytes);
        if (row == 0xFFFF && !m_notes.empty())
        {
            m_notes.back().biff5Text += text;
            return;
        }
        NoteRecord n;
        n.row = row;
        n.col = col;
        n.biff5Text = std::move(text);
        m_notes.push_back(std::move(n));
        return;
    }
    std::uint16_t flags = c.u16();
    std::uint16_t id = c.u16();
    std::string author = m_strings.longString(c);
    if (!c.ok() && author.empty())
        return;
    NoteRecord n;
    n.row = row;
    n.col = col;
    n.shown = flags & 0x0002;
    n.objId = id;
    n.author = std::move(author);
    m_notes.push_back(std::move(n));
}

void XlsSheetReader::finishLinks(model::SheetHeader& header)
{
    // A HYPERLINK formula links its cell unless a link record already covers it.
    for (auto& link : m_formulaLinks)
    {
        bool covered = std::any_of(header.hyperlinks.begin(), header.hyperlinks.end(), [&](const model::Hyperlink& h) {
            return link.firstRow >= h.firstRow && link.firstRow <= h.lastRow && link.firstCol >= h.firstCol &&
                   link.firstCol <= h.lastCol;
        });
        if (!covered && header.hyperlinks.size() < kMaxLinksPerSheet)
            header.hyperlinks.push_back(std::move(link));
    }
    resolveLocalNameLinks(header);
    for (const auto& tip : m_tooltips)
        for (auto& link : header.hyperlinks)
            if (link.firstRow == tip.firstRow && link.firstCol == tip.firstCol && link.screenTip.empty())
                link.screenTip = tip.screenTip;
}

void XlsSheetReader::finishComments(model::SheetHeader& header)
{
    for (auto& note : m_notes)
    {
        model::Comment comment;
        comment.row = note.row;
        comment.col = note.col;
        comment.shown = note.shown;
        comment.author = std::move(note.author);
        if (!m_biff8)
        {
            model::TextRun run;
            run.text = std::move(note.biff5Text);
            comment.text.push_back(std::move(run));
        }
        else if (auto it = m_texts.find(note.objId); it != m_texts.end())
        {
            comment.text = it->second;
        }
        if (comment.row < model::kMaxRows && comment.col < model::kMaxColumns)
            header.comments.push_back(std::move(comment));
    }
}

/// Excel writes a link to a sheet-local name ("#Sheet1!Totals") as the range the name stands for ("#Sheet1!C7:E8").
void XlsSheetReader::resolveLocalNameLinks(model::SheetHeader& header) const
{
    for (auto& link : header.hyperlinks)
    {
        auto hash = link.href.find('#');
        auto bang = link.href.rfind('!');
        if (hash == std::string::npos || bang == std::string::npos || bang < hash)
            continue;
        std::string sheet = link.href.substr(hash + 1, bang - hash - 1);
        if (sheet.size() >= 2 && sheet.front() == '\'' && sheet.back() == '\'')
            sheet = sheet.substr(1, sheet.size() - 2);
        std::string local = link.href.substr(bang + 1);
        for (const auto& name : m_g.info.names)
        {
            if (name.sheet < 0 || static_cast<std::size_t>(name.sheet) >= m_g.sheets.size() ||
                !equalsIgnoringCase(m_g.sheets[static_cast<std::size_t>(name.sheet)].name, sheet) ||
                !equalsIgnoringCase(name.name, local))
                continue;
            auto target = name.refersTo.rfind('!');
            if (auto a1 = absoluteR1C1ToA1(name.refersTo.substr(target == std::string::npos ? 1 : target + 1)))
                link.href = link.href.substr(0, bang + 1) + *a1;
            break;
        }
    }
}

} // namespace velquin::engine::xls
