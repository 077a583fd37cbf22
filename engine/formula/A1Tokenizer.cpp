// Splits a formula in A1 notation into tokens.
#include "engine/formula/A1Tokenizer.h"

#include <algorithm>
#include <array>

namespace velquin::engine::formula {

namespace {

constexpr std::uint32_t kMaxRow = 1048576;
constexpr std::uint32_t kMaxCol = 16384;

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Names may hold letters of any script, so every byte of a UTF-8 sequence counts as a name character.
bool isNameChar(char c)
{
    return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

constexpr std::array<std::string_view, 8> kErrors = {"#NULL!", "#DIV/0!", "#VALUE!",       "#REF!",
                                                     "#NAME?", "#NUM!",   "#GETTING_DATA", "#N/A"};

std::size_t skipDollar(std::string_view s, std::size_t i)
{
    return i < s.size() && s[i] == '$' ? i + 1 : i;
}

// Length of "$?[A-Za-z]{1,3}" at i, or 0.
std::size_t columnLength(std::string_view s, std::size_t i)
{
    std::size_t j = skipDollar(s, i);
    std::size_t letters = 0;
    while (j < s.size() && isLetter(s[j]) && letters < 4)
    {
        ++j;
        ++letters;
    }
    return letters >= 1 && letters <= 3 ? j - i : 0;
}

// Length of "$?[0-9]+" at i, or 0.
std::size_t rowLength(std::string_view s, std::size_t i)
{
    std::size_t j = skipDollar(s, i);
    std::size_t start = j;
    while (j < s.size() && isDigit(s[j]))
        ++j;
    return j > start ? j - i : 0;
}

} // namespace

bool parseA1Column(std::string_view text, std::uint32_t& col, bool& absolute)
{
    absolute = !text.empty() && text.front() == '$';
    if (absolute)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 3)
        return false;
    std::uint32_t value = 0;
    for (char c : text)
    {
        if (!isLetter(c))
            return false;
        value = value * 26 + static_cast<std::uint32_t>((c | 0x20) - 'a' + 1);
    }
    if (value > kMaxCol)
        return false;
    col = value;
    return true;
}

bool parseA1Row(std::string_view text, std::uint32_t& row, bool& absolute)
{
    absolute = !text.empty() && text.front() == '$';
    if (absolute)
        text.remove_prefix(1);
    if (text.empty() || text.size() > 7)
        return false;
    std::uint32_t value = 0;
    for (char c : text)
    {
        if (!isDigit(c))
            return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value < 1 || value > kMaxRow)
        return false;
    row = value;
    return true;
}

bool parseA1Cell(std::string_view text, A1Cell& cell)
{
    std::size_t colLen = columnLength(text, 0);
    if (colLen == 0)
        return false;
    return parseA1Column(text.substr(0, colLen), cell.col, cell.colAbsolute) &&
           parseA1Row(text.substr(colLen), cell.row, cell.rowAbsolute);
}

Token A1Tokenizer::take(TokenKind kind, std::size_t length)
{
    Token token{kind, m_text.substr(m_pos, length)};
    m_pos += length;
    return token;
}

std::size_t A1Tokenizer::identifierEnd(std::size_t from) const
{
    while (from < m_text.size() && isNameChar(m_text[from]))
        ++from;
    return from;
}

Token A1Tokenizer::next()
{
    if (m_pos >= m_text.size())
        return {};
    char c = m_text[m_pos];
    switch (c)
    {
    case ' ':
    case '\t':
    case '\r':
    case '\n': {
        std::size_t end = m_pos;
        while (end < m_text.size() &&
               (m_text[end] == ' ' || m_text[end] == '\t' || m_text[end] == '\r' || m_text[end] == '\n'))
            ++end;
        return take(TokenKind::Whitespace, end - m_pos);
    }
    case '"':
        return quoted('"', TokenKind::String);
    case '\'':
        return quoted('\'', TokenKind::SheetPrefix);
    case '[':
        return bracketed('[', ']', TokenKind::Bracketed);
    case '{':
        return bracketed('{', '}', TokenKind::ArrayConstant);
    case '(':
        return take(TokenKind::Open, 1);
    case ')':
        return take(TokenKind::Close, 1);
    case ',':
    case ';':
        return take(TokenKind::Separator, 1);
    case '#':
        for (std::string_view error : kErrors)
        {
            if (m_text.substr(m_pos, error.size()) == error)
                return take(TokenKind::Error, error.size());
        }
        return take(TokenKind::Operator, 1);
    case '<':
        if (m_pos + 1 < m_text.size() && (m_text[m_pos + 1] == '=' || m_text[m_pos + 1] == '>'))
            return take(TokenKind::Operator, 2);
        return take(TokenKind::Operator, 1);
    case '>':
        if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '=')
            return take(TokenKind::Operator, 2);
        return take(TokenKind::Operator, 1);
    default:
        break;
    }
    if (isDigit(c) || (c == '.' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1])))
        return number();
    if (c == '$' && m_pos + 1 < m_text.size() && isDigit(m_text[m_pos + 1]))
        return number();
    if (isNameChar(c))
        return word();
    return take(TokenKind::Operator, 1);
}

// A quoted run: "..." is a string literal; '...' is a sheet name, which must be followed by "!" (or ":" and a
// second sheet for a 3-D reference) to be a prefix. A doubled quote stands for one quote character.
Token A1Tokenizer::quoted(char quote, TokenKind kind)
{
    std::size_t end = m_pos + 1;
    while (end < m_text.size())
    {
        if (m_text[end] == quote)
        {
            if (end + 1 < m_text.size() && m_text[end + 1] == quote)
            {
                end += 2;
                continue;
            }
            ++end;
            break;
        }
        ++end;
    }
    if (kind != TokenKind::SheetPrefix)
        return take(kind, end - m_pos);
    if (end < m_text.size() && m_text[end] == ':')
    {
        std::size_t second = end + 1;
        if (second < m_text.size() && m_text[second] == '\'')
        {
            second = m_text.find('!', second);
            if (second != std::string_view::npos)
                return take(TokenKind::SheetPrefix, second + 1 - m_pos);
        }
        else
        {
            second = identifierEnd(second);
            if (second < m_text.size() && m_text[second] == '!')
                return take(TokenKind::SheetPrefix, second + 1 - m_pos);
        }
    }
    if (end < m_text.size() && m_text[end] == '!')
        return take(TokenKind::SheetPrefix, end + 1 - m_pos);
    return take(TokenKind::Name, end - m_pos);
}

// Brackets nest in structured references ("Table1[[#Headers],[Col 1]]"); a counter keeps track, and an apostrophe
// escapes the next character inside them. Braces of array constants do not nest but hold string literals.
Token A1Tokenizer::bracketed(char open, char close, TokenKind kind)
{
    std::size_t depth = 0;
    std::size_t end = m_pos;
    while (end < m_text.size())
    {
        char c = m_text[end];
        if (open == '[' && c == '\'' && end + 1 < m_text.size())
            end += 2;
        else if (open == '{' && c == '"')
        {
            ++end;
            while (end < m_text.size() && m_text[end] != '"')
                ++end;
            ++end;
        }
        else
        {
            ++end;
            if (c == open)
                ++depth;
            else if (c == close && --depth == 0)
                break;
        }
    }
    return take(kind, std::min(end, m_text.size()) - m_pos);
}

Token A1Tokenizer::number()
{
    std::size_t rowLen = rowLength(m_text, m_pos);
    if (rowLen > 0 && m_pos + rowLen < m_text.size() && m_text[m_pos + rowLen] == ':')
    {
        std::size_t secondLen = rowLength(m_text, m_pos + rowLen + 1);
        std::size_t end = m_pos + rowLen + 1 + secondLen;
        if (secondLen > 0 && identifierEnd(end) == end)
            return take(TokenKind::RowRange, end - m_pos);
    }
    if (m_text[m_pos] == '$')
        return take(TokenKind::Operator, 1);
    std::size_t end = m_pos;
    while (end < m_text.size() && isDigit(m_text[end]))
        ++end;
    if (end < m_text.size() && m_text[end] == '.')
    {
        ++end;
        while (end < m_text.size() && isDigit(m_text[end]))
            ++end;
    }
    if (end < m_text.size() && (m_text[end] == 'E' || m_text[end] == 'e'))
    {
        std::size_t exp = end + 1;
        if (exp < m_text.size() && (m_text[exp] == '+' || m_text[exp] == '-'))
            ++exp;
        if (exp < m_text.size() && isDigit(m_text[exp]))
        {
            end = exp;
            while (end < m_text.size() && isDigit(m_text[end]))
                ++end;
        }
    }
    return take(TokenKind::Number, end - m_pos);
}

Token A1Tokenizer::word()
{
    std::size_t end = identifierEnd(m_pos);
    // Sheet1!A1 and the 3-D form Sheet1:Sheet3!A1.
    if (end < m_text.size() && m_text[end] == '!')
        return take(TokenKind::SheetPrefix, end + 1 - m_pos);
    if (end < m_text.size() && m_text[end] == ':')
    {
        std::size_t second = identifierEnd(end + 1);
        if (second < m_text.size() && m_text[second] == '!' && second > end + 1)
            return take(TokenKind::SheetPrefix, second + 1 - m_pos);
    }
    std::string_view run = m_text.substr(m_pos, end - m_pos);
    bool followedByCall = end < m_text.size() && m_text[end] == '(';
    bool followedByBracket = end < m_text.size() && m_text[end] == '[';
    std::size_t colLen = columnLength(m_text, m_pos);
    if (colLen == run.size() && end < m_text.size() && m_text[end] == ':')
    {
        std::size_t secondLen = columnLength(m_text, end + 1);
        std::size_t second = end + 1 + secondLen;
        if (secondLen > 0 && identifierEnd(second) == second && (second >= m_text.size() || m_text[second] != '('))
        {
            std::uint32_t col = 0;
            bool absolute = false;
            if (parseA1Column(run, col, absolute) && parseA1Column(m_text.substr(end + 1, secondLen), col, absolute))
                return take(TokenKind::ColumnRange, second - m_pos);
        }
    }
    A1Cell cell;
    if (!followedByCall && !followedByBracket && parseA1Cell(run, cell))
        return take(TokenKind::CellRef, run.size());
    if (followedByCall)
        return take(TokenKind::Function, run.size());
    return take(TokenKind::Name, run.size());
}

} // namespace velquin::engine::formula
