// Splits a formula in A1 notation (as OOXML stores it, without the leading "=") into tokens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velquin::engine::formula {

enum class TokenKind : std::uint8_t
{
    End,
    Whitespace,   ///< spaces and line breaks (the intersection operator is a space)
    Operator,     ///< + - * / ^ & = < > <= >= <> % : @ #
    Open,         ///< (
    Close,        ///< )
    Separator,    ///< , or ; (the union operator and argument separator)
    Number,       ///< 12, 1.5E-3
    String,       ///< "text" with doubled quotes inside, quotes included
    Error,        ///< #REF!, #N/A, ...
    Function,     ///< a name followed by "(" (the parenthesis is a separate Open token)
    Name,         ///< a defined name, TRUE/FALSE, or any identifier that is not a reference
    CellRef,      ///< A1, $B$2
    ColumnRange,  ///< A:C, $A:$A
    RowRange,     ///< 1:3, $2:$2
    SheetPrefix,  ///< Sheet1! 'My sheet'! Sheet1:Sheet3! [1]Sheet1! (the "!" included)
    Bracketed,    ///< a structured reference part or an external book index: [...] with nested brackets
    ArrayConstant ///< {1,2;3,4}, braces included
};

struct Token
{
    TokenKind kind = TokenKind::End;
    std::string_view text;
};

/// A reference to one cell as written in A1: 1-based row and column and whether each is absolute ("$").
struct A1Cell
{
    std::uint32_t row = 0, col = 0;
    bool rowAbsolute = false, colAbsolute = false;
};

/// Parses "A1", "$B$2" (nothing else around it). False when it is not a cell inside the largest sheet.
bool parseA1Cell(std::string_view text, A1Cell& cell);
/// Parses a column "A".."XFD" with an optional "$"; 1-based.
bool parseA1Column(std::string_view text, std::uint32_t& col, bool& absolute);
/// Parses a row "1".."1048576" with an optional "$".
bool parseA1Row(std::string_view text, std::uint32_t& row, bool& absolute);

/// Reads tokens one after the other. Malformed input never fails: what cannot be classified comes back as an
/// Operator token of one character, so the text is always reproduced in full.
class A1Tokenizer
{
public:
    explicit A1Tokenizer(std::string_view formula) : m_text(formula) {}
    Token next();

private:
    Token take(TokenKind kind, std::size_t length);
    Token quoted(char quote, TokenKind kind);
    Token bracketed(char open, char close, TokenKind kind);
    Token word();
    Token number();
    std::size_t identifierEnd(std::size_t from) const;

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace velquin::engine::formula
