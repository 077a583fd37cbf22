// Turns formulas and ranges from A1 notation into R1C1 notation.
#include "engine/formula/R1C1Translator.h"

#include "engine/formula/A1Tokenizer.h"
#include "engine/model/Sheet.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velquin::engine::formula {

namespace {

void appendNumber(std::string& out, std::int64_t value)
{
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// "R5" when absolute, "R" for the same row, "R[-2]" for an offset. `target` and `base` are 1-based.
void appendPart(std::string& out, char letter, std::uint32_t target, bool absolute, std::uint32_t base)
{
    out += letter;
    if (absolute)
    {
        appendNumber(out, target);
        return;
    }
    std::int64_t offset = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(base);
    if (offset == 0)
        return;
    out += '[';
    appendNumber(out, offset);
    out += ']';
}

struct Base
{
    std::uint32_t row = 1, col = 1; // 1-based
};

void appendCell(std::string& out, const A1Cell& cell, Base base)
{
    appendPart(out, 'R', cell.row, cell.rowAbsolute, base.row);
    appendPart(out, 'C', cell.col, cell.colAbsolute, base.col);
}

// "A:C" or "1:3"; one that starts and ends on the same line collapses to a single part ("C1", "R[2]").
void appendLineRange(std::string& out, std::string_view text, bool rows, Base base)
{
    std::size_t colon = text.find(':');
    std::uint32_t first = 0, last = 0;
    bool firstAbs = false, lastAbs = false;
    bool ok =
        rows ? parseA1Row(text.substr(0, colon), first, firstAbs) && parseA1Row(text.substr(colon + 1), last, lastAbs)
             : parseA1Column(text.substr(0, colon), first, firstAbs) &&
                   parseA1Column(text.substr(colon + 1), last, lastAbs);
    if (!ok || colon == std::string_view::npos)
    {
        out += text;
        return;
    }
    char letter = rows ? 'R' : 'C';
    std::uint32_t baseLine = rows ? base.row : base.col;
    appendPart(out, letter, first, firstAbs, baseLine);
    if (first == last && firstAbs == lastAbs)
        return;
    out += ':';
    appendPart(out, letter, last, lastAbs, baseLine);
}

// Excel marks functions newer than the file format with "_xlfn." (and worksheet-only ones with "_xlws."), and
// LAMBDA parameters with "_xlpm."; it shows them without the marks.
std::string_view withoutFutureMarks(std::string_view name)
{
    for (bool stripped = true; stripped;)
    {
        stripped = false;
        for (std::string_view mark :
             {std::string_view("_xlfn."), std::string_view("_xlws."), std::string_view("_xlpm.")})
        {
            if (name.size() > mark.size() && name.substr(0, mark.size()) == mark)
            {
                name.remove_prefix(mark.size());
                stripped = true;
            }
        }
    }
    return name;
}

// "A:C" or "3:4" in a range list; false when `part` is not such a range.
bool appendWholeLines(std::string& out, std::string_view part, bool relative, Base base)
{
    std::size_t colon = part.find(':');
    if (colon == std::string_view::npos)
        return false;
    std::uint32_t first = 0, last = 0;
    bool absolute = false;
    bool rows =
        parseA1Row(part.substr(0, colon), first, absolute) && parseA1Row(part.substr(colon + 1), last, absolute);
    bool cols = !rows && parseA1Column(part.substr(0, colon), first, absolute) &&
                parseA1Column(part.substr(colon + 1), last, absolute);
    if (!rows && !cols)
        return false;
    char letter = rows ? 'R' : 'C';
    std::uint32_t baseLine = rows ? base.row : base.col;
    appendPart(out, letter, std::min(first, last), !relative, baseLine);
    if (first != last)
    {
        out += ':';
        appendPart(out, letter, std::max(first, last), !relative, baseLine);
    }
    return true;
}

// Whether a sheet name reads as itself without quotes: letters (any script), digits, "_" and "." only, not
// starting with a digit, and not something that reads as an R1C1 reference (R1C1, R, C3). A1 lookalikes such as
// "Top10" need none in R1C1 text.
bool needsNoQuotes(std::string_view name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (char c : name)
    {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '.' || static_cast<unsigned char>(c) >= 0x80;
        if (!plain)
            return false;
    }
    std::size_t i = 0;
    auto digits = [&] {
        while (i < name.size() && name[i] >= '0' && name[i] <= '9')
            ++i;
    };
    if (name[i] == 'R' || name[i] == 'r')
    {
        ++i;
        digits();
    }
    if (i < name.size() && (name[i] == 'C' || name[i] == 'c'))
    {
        ++i;
        digits();
    }
    return i != name.size();
}

} // namespace

bool sheetNameNeedsQuotes(std::string_view name)
{
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos)
        return !needsNoQuotes(name);
    // A 3-D range "Sheet2:Sheet3" is quoted as a whole when either of its names must be.
    return !needsNoQuotes(name.substr(0, colon)) || !needsNoQuotes(name.substr(colon + 1));
}

namespace {

// "'Sheet1'!" -> "Sheet1!": Excel quotes a sheet name only where it must.
void appendSheetPrefix(std::string& out, std::string_view prefix)
{
    if (prefix.size() > 3 && prefix.front() == '\'' && prefix.substr(prefix.size() - 2) == "'!")
    {
        std::string_view name = prefix.substr(1, prefix.size() - 3);
        if (name.find('\'') == std::string_view::npos && !sheetNameNeedsQuotes(name))
        {
            out += name;
            out += '!';
            return;
        }
    }
    out += prefix;
}

/// Reads a row or column number of at most `limit` after its letter; false when none (or a relative "[n]").
bool readNumber(std::string_view text, std::size_t& at, std::uint32_t limit, std::uint32_t& value)
{
    std::size_t start = at;
    std::uint64_t n = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 8)
        n = n * 10 + static_cast<std::uint64_t>(text[at++] - '0');
    if (at == start || n == 0 || n > limit)
        return false;
    value = static_cast<std::uint32_t>(n - 1);
    return true;
}

/// One corner or edge: "R1C1", "R1" (a whole row) or "C1" (a whole column).
struct Edge
{
    bool hasRow = false, hasCol = false;
    std::uint32_t row = 0, col = 0;
};

bool readEdge(std::string_view text, std::size_t& at, Edge& edge)
{
    if (at < text.size() && text[at] == 'R')
    {
        ++at;
        if (!readNumber(text, at, model::kMaxRows, edge.row))
            return false;
        edge.hasRow = true;
    }
    if (at < text.size() && text[at] == 'C')
    {
        ++at;
        if (!readNumber(text, at, model::kMaxColumns, edge.col))
            return false;
        edge.hasCol = true;
    }
    return edge.hasRow || edge.hasCol;
}

/// The next token that is not white space.
Token nextSolid(A1Tokenizer& tokenizer)
{
    Token token = tokenizer.next();
    while (token.kind == TokenKind::Whitespace)
        token = tokenizer.next();
    return token;
}

/// Whether a field name must be written in brackets: anything but letters, digits and "_" not starting with a digit.
bool fieldNeedsBrackets(std::string_view field)
{
    if (field.empty() || (field[0] >= '0' && field[0] <= '9'))
        return true;
    return std::any_of(field.begin(), field.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return !(u >= 0x80 || std::isalnum(u) || c == '_');
    });
}

/// A field of a linked data type, stored as _FV(ref,"Field"[,brackets]), as Excel shows it: ref.Field, or
/// ref.[Field] when the third argument is TRUE or the name needs brackets. The tokenizer stands after "_FV"; false
/// (and the tokenizer untouched) when the arguments are not of that form.
bool appendFieldValue(std::string& out, A1Tokenizer& tokenizer, Base base)
{
    A1Tokenizer peek = tokenizer;
    if (nextSolid(peek).kind != TokenKind::Open)
        return false;
    Token ref = nextSolid(peek);
    std::string_view sheet;
    if (ref.kind == TokenKind::SheetPrefix)
    {
        sheet = ref.text;
        ref = peek.next();
    }
    A1Cell cell;
    const bool isCell = ref.kind == TokenKind::CellRef && parseA1Cell(ref.text, cell);
    if (!isCell && !(ref.kind == TokenKind::Name && sheet.empty()))
        return false;
    Token comma = nextSolid(peek);
    const Token field = nextSolid(peek);
    if (comma.kind != TokenKind::Separator || comma.text != "," || field.kind != TokenKind::String ||
        field.text.size() < 2)
        return false;
    bool brackets = false;
    Token after = nextSolid(peek);
    if (after.kind == TokenKind::Separator && after.text == ",")
    {
        const Token flag = nextSolid(peek);
        if (flag.kind != TokenKind::Name || (flag.text != "TRUE" && flag.text != "FALSE"))
            return false;
        brackets = flag.text == "TRUE";
        after = nextSolid(peek);
    }
    if (after.kind != TokenKind::Close)
        return false;

    std::string name;
    const std::string_view quoted = field.text.substr(1, field.text.size() - 2);
    for (std::size_t i = 0; i < quoted.size(); ++i)
    {
        name += quoted[i];
        if (quoted[i] == '"')
            ++i; // doubled inside the literal
    }
    if (!sheet.empty())
        appendSheetPrefix(out, sheet);
    if (isCell)
        appendCell(out, cell, base);
    else
        out += ref.text;
    out += '.';
    if (brackets || fieldNeedsBrackets(name))
    {
        out += '[';
        out += name;
        out += ']';
    }
    else
        out += name;
    tokenizer = peek;
    return true;
}

/// The book a "[n]" token names, or nothing for "[0]", other brackets and numbers past the list.
const ExternalBook* externalBook(std::string_view bracketed, std::span<const ExternalBook> books)
{
    if (bracketed.size() < 3 || bracketed.size() > 8 || bracketed.front() != '[' || bracketed.back() != ']')
        return nullptr;
    std::size_t n = 0;
    for (char c : bracketed.substr(1, bracketed.size() - 2))
    {
        if (c < '0' || c > '9')
            return nullptr;
        n = n * 10 + static_cast<std::size_t>(c - '0');
    }
    return n >= 1 && n <= books.size() && !books[n - 1].file.empty() ? &books[n - 1] : nullptr;
}

void appendEscaped(std::string& out, std::string_view text)
{
    for (char c : text)
    {
        out += c;
        if (c == '\'')
            out += '\'';
    }
}

// An external sheet is always quoted, the folder before the brackets and the file inside:
// 'C:\Docs\[Book2.xlsx]Sheet 1'!. `sheets` is the prefix's text between the book and the "!", quotes undone.
void appendExternalSheet(std::string& out, const ExternalBook& book, std::string_view sheets)
{
    out += '\'';
    appendEscaped(out, book.folder);
    out += '[';
    appendEscaped(out, book.file);
    out += ']';
    out += sheets;
    out += "'!";
}

/// Writes "[n]" and what follows it when n is an external book: "[n]Sheet1!" and "[n]!Name". False to copy it.
bool appendExternalPrefix(std::string& out, const Token& token, A1Tokenizer& tokenizer,
                          std::span<const ExternalBook> books)
{
    const ExternalBook* book = externalBook(token.text, books);
    if (!book)
        return false;
    A1Tokenizer peek = tokenizer;
    const Token next = peek.next();
    if (next.kind == TokenKind::SheetPrefix && next.text.front() != '\'')
    {
        appendExternalSheet(out, *book, next.text.substr(0, next.text.size() - 1));
        tokenizer = peek;
        return true;
    }
    if (next.kind == TokenKind::Operator && next.text == "!")
    {
        appendEscaped(out, book->file);
        out += '!';
        tokenizer = peek;
        return true;
    }
    return false;
}

/// "'[n]Sheet 1'!" with n an external book; false to leave the prefix to appendSheetPrefix.
bool appendQuotedExternalPrefix(std::string& out, std::string_view prefix, std::span<const ExternalBook> books)
{
    if (prefix.size() < 6 || prefix.substr(0, 2) != "'[" || prefix.substr(prefix.size() - 2) != "'!")
        return false;
    const std::size_t close = prefix.find(']');
    if (close == std::string_view::npos || close >= prefix.size() - 2)
        return false;
    const ExternalBook* book = externalBook(prefix.substr(1, close), books);
    if (!book)
        return false;
    // The sheet names keep their doubled quotes: they stay inside quotes.
    appendExternalSheet(out, *book, prefix.substr(close + 1, prefix.size() - close - 3));
    return true;
}

} // namespace

void appendR1C1Formula(std::string& out, std::string_view a1, std::uint32_t row, std::uint32_t col,
                       std::span<const ExternalBook> books)
{
    Base base{row + 1, col + 1};
    out += '=';
    A1Tokenizer tokenizer(a1);
    for (Token token = tokenizer.next(); token.kind != TokenKind::End; token = tokenizer.next())
    {
        switch (token.kind)
        {
        case TokenKind::CellRef: {
            A1Cell cell;
            if (parseA1Cell(token.text, cell))
                appendCell(out, cell, base);
            else
                out += token.text;
            break;
        }
        case TokenKind::ColumnRange:
            appendLineRange(out, token.text, false, base);
            break;
        case TokenKind::RowRange:
            appendLineRange(out, token.text, true, base);
            break;
        case TokenKind::Function:
            if (withoutFutureMarks(token.text) == "_FV" && appendFieldValue(out, tokenizer, base))
                break;
            out += withoutFutureMarks(token.text);
            break;
        case TokenKind::Name:
            out += withoutFutureMarks(token.text);
            break;
        case TokenKind::SheetPrefix:
            if (!appendQuotedExternalPrefix(out, token.text, books))
                appendSheetPrefix(out, token.text);
            break;
        case TokenKind::Bracketed:
            if (appendExternalPrefix(out, token, tokenizer, books))
                break;
            // "[0]!" is the workbook naming itself (a workbook-level name); shown, it is the bare name.
            if (token.text == "[0]")
            {
                A1Tokenizer peek = tokenizer;
                if (Token next = peek.next(); next.kind == TokenKind::Operator && next.text == "!")
                {
                    tokenizer = peek;
                    break;
                }
            }
            out += token.text;
            break;
        default:
            out += token.text;
            break;
        }
    }
}

std::string toR1C1Formula(std::string_view a1, std::uint32_t row, std::uint32_t col,
                          std::span<const ExternalBook> books)
{
    std::string out;
    out.reserve(a1.size() + 16);
    appendR1C1Formula(out, a1, row, col, books);
    return out;
}

bool parseR1C1Range(std::string_view text, CellRange& range)
{
    std::size_t at = 0;
    Edge first;
    if (!readEdge(text, at, first))
        return false;
    Edge last = first;
    if (at < text.size() && text[at] == ':')
    {
        // The second corner must name the same things as the first: "R1C1:R2" is no range.
        ++at;
        last = Edge{};
        if (!readEdge(text, at, last) || last.hasRow != first.hasRow || last.hasCol != first.hasCol)
            return false;
    }
    if (at != text.size())
        return false;
    range.firstRow = first.hasRow ? std::min(first.row, last.row) : 0;
    range.lastRow = first.hasRow ? std::max(first.row, last.row) : model::kMaxRows - 1;
    range.firstCol = first.hasCol ? std::min(first.col, last.col) : 0;
    range.lastCol = first.hasCol ? std::max(first.col, last.col) : model::kMaxColumns - 1;
    return true;
}

bool parseA1Range(std::string_view text, CellRange& range)
{
    std::size_t colon = text.find(':');
    A1Cell first, last;
    if (!parseA1Cell(text.substr(0, colon), first))
        return false;
    last = first;
    if (colon != std::string_view::npos && !parseA1Cell(text.substr(colon + 1), last))
        return false;
    range.firstRow = std::min(first.row, last.row) - 1;
    range.lastRow = std::max(first.row, last.row) - 1;
    range.firstCol = std::min(first.col, last.col) - 1;
    range.lastCol = std::max(first.col, last.col) - 1;
    return true;
}

bool rangeListToR1C1(std::string_view ranges, bool relative, std::uint32_t row, std::uint32_t col, std::string& out)
{
    Base base{row + 1, col + 1};
    out.clear();
    std::size_t pos = 0;
    while (pos < ranges.size())
    {
        if (ranges[pos] == ' ')
        {
            ++pos;
            continue;
        }
        std::size_t end = std::min(ranges.find(' ', pos), ranges.size());
        std::string_view part = ranges.substr(pos, end - pos);
        pos = end;
        if (!out.empty())
            out += ',';
        if (appendWholeLines(out, part, relative, base))
            continue;
        CellRange range;
        if (!parseA1Range(part, range))
            return false;
        A1Cell first{range.firstRow + 1, range.firstCol + 1, !relative, !relative};
        A1Cell last{range.lastRow + 1, range.lastCol + 1, !relative, !relative};
        appendCell(out, first, base);
        if (range.firstRow != range.lastRow || range.firstCol != range.lastCol)
        {
            out += ':';
            appendCell(out, last, base);
        }
    }
    return !out.empty();
}

} // namespace velquin::engine::formula
