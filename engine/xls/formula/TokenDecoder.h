// Decodes a BIFF5/BIFF8 token stream (reverse Polish) into R1C1 formula text, one decoder per token class.
#pragma once

#include "engine/Error.h"
#include "engine/xls/formula/ByteCursor.h"
#include "engine/xls/formula/FormulaDecompiler.h"
#include "engine/xls/formula/ReferenceText.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::engine::xls::formula {

/// Runs the tokens of one formula through an explicit operand stack (no recursion, whatever the input).
class TokenDecoder
{
public:
    TokenDecoder(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb, const FormulaContext& context);

    /// The formula text without its leading "=". DamagedFile for truncated or unknown tokens and for streams that
    /// do not leave exactly one operand; LimitExceeded when the operand stack would grow past its cap.
    Status decode(std::string& text);

    /// Most operands a formula may keep on the stack at once; Excel's own limits stay far below.
    static constexpr std::size_t kMaxStackDepth = 1024;
    /// Longest text one operand may reach. Excel itself stops at 8192 characters; the cap keeps hostile streams
    /// (thousands of nested parentheses or spaces) from costing unbounded memory and time.
    static constexpr std::size_t kMaxTextLength = 16384;

private:
    Status decodeToken(std::uint8_t ptg);

    Status decodeBinaryOperator(std::string_view symbol);
    Status decodeUnaryOperator(std::string_view prefix, std::string_view suffix);
    Status decodeParen();
    Status decodeString();
    Status decodeAttr();
    Status decodeAttrSpace(std::uint16_t data);
    Status decodeError();
    Status decodeBool();
    Status decodeInt();
    Status decodeNum();
    Status decodeArray();
    bool readFunctionIndex(std::uint16_t& index);
    Status decodeFunc();
    Status decodeFuncVar();
    Status decodeName();
    Status decodeRef(bool offsets);
    Status decodeArea(bool offsets);
    Status decodeMem();
    Status decodeRefErr();
    Status decodeAreaErr();
    Status decodeNameX();
    Status decodeRef3d();
    Status decodeArea3d();
    Status decodeRefErr3d();
    Status decodeAreaErr3d();

    Status applyFunction(std::string name, std::size_t argumentCount);
    /// The "record.field" form of a linked data type's field value call, or nothing when the arguments do not fit.
    std::optional<std::string> fieldAccess(std::size_t argumentCount);
    Status readCell(bool offsets, CellReference& cell);
    Status readArea(bool offsets, CellReference& first, CellReference& last, AreaShape& shape);
    Status readSheetPrefix(std::optional<std::string>& prefix);
    Coordinate resolve(std::int32_t raw, bool relative, bool offsets, std::uint32_t origin, std::int32_t limit) const;

    Status push(std::string text);
    /// Pushes an operand with the spaces waiting before it.
    Status pushOperand(std::string text);
    Status tooLong() const;
    Status pop(std::string& text);
    std::string takeSpace();
    Status truncated() const;
    Status damaged(const std::string& what) const;

    ByteCursor m_tokens;
    ByteCursor m_extra;
    const FormulaContext& m_context;
    bool m_biff8;
    std::size_t m_tokenOffset = 0;
    std::uint8_t m_ptg = 0;
    std::vector<std::string> m_stack;
    std::string m_spaceBefore;      ///< spaces and line breaks waiting for the next token
    std::string m_spaceBeforeOpen;  ///< ... for the next "("
    std::string m_spaceBeforeClose; ///< ... for the next ")"
};

} // namespace velquin::engine::xls::formula
