// Decodes a BIFF5/BIFF8 token stream (reverse Polish) into R1C1 formula text, one decoder per token class.
#include "engine/xls/formula/TokenDecoder.h"

#include "engine/xls/formula/ConstantText.h"
#include "engine/xls/formula/FunctionTable.h"
#include "engine/xls/formula/NumberText.h"

#include <cctype>
#include <cstdio>

namespace velquin::engine::xls::formula {

namespace {

constexpr std::int32_t kBiff8Rows = 65536;
constexpr std::int32_t kBiff5Rows = 16384;
constexpr std::int32_t kColumns = 256;

// PtgAttr option bits that change the text. The others (0x01 volatile, 0x02 IF jump, 0x08 skip, 0x20 macro
// assignment) only help Excel's calculation.
constexpr std::uint8_t kAttrChoose = 0x04;
constexpr std::uint8_t kAttrSum = 0x10;
constexpr std::uint8_t kAttrSpace = 0x40;

// Add-in and newer functions reach BIFF8 as external names with these prefixes; Excel shows them without.
std::string displayedFunctionName(std::string name)
{
    for (std::string_view prefix : {std::string_view("_xlfn."), std::string_view("_xlws.")})
    {
        if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0)
            name.erase(0, prefix.size());
    }
    return name;
}

// Linked data types (stocks, geography) store "A1.Price" as a call of this hidden function.
constexpr std::string_view kFieldValueFunction = "_FV";

// The characters of a string constant as the decoder wrote it ("ab""c" -> ab"c), or nothing for other operands.
std::optional<std::string> stringConstant(std::string_view text)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return std::nullopt;
    std::string value;
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
    {
        if (text[i] == '"')
        {
            if (text[i + 1] != '"' || i + 2 >= text.size())
                return std::nullopt;
            ++i;
        }
        value += text[i];
    }
    return value;
}

bool isPlainFieldName(std::string_view field)
{
    if (field.empty())
        return false;
    for (char c : field)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (!(std::isalnum(byte) || c == '_' || byte >= 0x80))
            return false;
    }
    return true;
}

std::string hexByte(std::uint8_t value)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02X", value);
    return buffer;
}

} // namespace

TokenDecoder::TokenDecoder(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb,
                           const FormulaContext& context)
    : m_tokens(rgce), m_extra(rgcb), m_context(context), m_biff8(context.biffVersion >= 8)
{
    m_stack.reserve(8);
}

Status TokenDecoder::decode(std::string& text)
{
    while (!m_tokens.atEnd())
    {
        m_tokenOffset = m_tokens.offset();
        m_tokens.readU8(m_ptg);
        if (Status status = decodeToken(m_ptg); !status)
            return status;
    }
    if (m_stack.size() != 1)
    {
        return Status(EngineErrc::DamagedFile,
                      "formula tokens leave " + std::to_string(m_stack.size()) + " operands instead of one");
    }
    text = std::move(m_stack.back());
    return Status::ok();
}

Status TokenDecoder::decodeToken(std::uint8_t ptg)
{
    // Operand tokens come in three classes (reference 0x20, value 0x40, array 0x60) that read alike.
    const std::uint8_t base = ptg >= 0x20 && ptg < 0x80 ? static_cast<std::uint8_t>(0x20 | (ptg & 0x1F)) : ptg;
    switch (base)
    {
    case 0x03: // PtgAdd
        return decodeBinaryOperator("+");
    case 0x04: // PtgSub
        return decodeBinaryOperator("-");
    case 0x05: // PtgMul
        return decodeBinaryOperator("*");
    case 0x06: // PtgDiv
        return decodeBinaryOperator("/");
    case 0x07: // PtgPower
        return decodeBinaryOperator("^");
    case 0x08: // PtgConcat
        return decodeBinaryOperator("&");
    case 0x09: // PtgLt
        return decodeBinaryOperator("<");
    case 0x0A: // PtgLe
        return decodeBinaryOperator("<=");
    case 0x0B: // PtgEq
        return decodeBinaryOperator("=");
    case 0x0C: // PtgGe
        return decodeBinaryOperator(">=");
    case 0x0D: // PtgGt
        return decodeBinaryOperator(">");
    case 0x0E: // PtgNe
        return decodeBinaryOperator("<>");
    case 0x0F: // PtgIsect
        return decodeBinaryOperator(" ");
    case 0x10: // PtgUnion
        return decodeBinaryOperator(",");
    case 0x11: // PtgRange
        return decodeBinaryOperator(":");
    case 0x12: // PtgUplus
        return decodeUnaryOperator("+", "");
    case 0x13: // PtgUminus
        return decodeUnaryOperator("-", "");
    case 0x14: // PtgPercent
        return decodeUnaryOperator("", "%");
    case 0x15: // PtgParen
        return decodeParen();
    case 0x16: // PtgMissArg
        return push(takeSpace());
    case 0x17: // PtgStr
        return decodeString();
    case 0x19: // PtgAttr
        return decodeAttr();
    case 0x1C: // PtgErr
        return decodeError();
    case 0x1D: // PtgBool
        return decodeBool();
    case 0x1E: // PtgInt
        return decodeInt();
    case 0x1F: // PtgNum
        return decodeNum();
    case 0x20: // PtgArray
        return decodeArray();
    case 0x21: // PtgFunc
        return decodeFunc();
    case 0x22: // PtgFuncVar
        return decodeFuncVar();
    case 0x23: // PtgName
        return decodeName();
    case 0x24: // PtgRef
        return decodeRef(false);
    case 0x25: // PtgArea
        return decodeArea(false);
    case 0x26: // PtgMemArea
    case 0x27: // PtgMemErr
    case 0x28: // PtgMemNoMem
    case 0x29: // PtgMemFunc
    case 0x2E: // PtgMemAreaN
    case 0x2F: // PtgMemNoMemN
        return decodeMem();
    case 0x2A: // PtgRefErr
        return decodeRefErr();
    case 0x2B: // PtgAreaErr
        return decodeAreaErr();
    case 0x2C: // PtgRefN
        return decodeRef(true);
    case 0x2D: // PtgAreaN
        return decodeArea(true);
    case 0x39: // PtgNameX
        return decodeNameX();
    case 0x3A: // PtgRef3d
        return decodeRef3d();
    case 0x3B: // PtgArea3d
        return decodeArea3d();
    case 0x3C: // PtgRefErr3d
        return decodeRefErr3d();
    case 0x3D: // PtgAreaErr3d
        return decodeAreaErr3d();
    case 0x01: // PtgExp: only valid as the whole formula of a cell, handled before decoding
    case 0x02: // PtgTbl: likewise
        return damaged("shared formula token " + hexByte(ptg) + " inside a formula");
    case 0x18: // PtgExtended: natural-language (Elf) and pivot-name tokens, which no worksheet cell formula keeps
        return Status(EngineErrc::UnsupportedFormat,
                      "formula token 0x18 at offset " + std::to_string(m_tokenOffset) + " is not supported");
    default:
        return damaged("unknown formula token " + hexByte(ptg));
    }
}

Status TokenDecoder::decodeBinaryOperator(std::string_view symbol)
{
    // The left operand grows in place: most formulas are chains of binary operators.
    if (m_stack.size() < 2)
        return damaged("formula token " + hexByte(m_ptg) + " misses an operand");
    std::string& left = m_stack[m_stack.size() - 2];
    const std::string& right = m_stack.back();
    if (left.size() + m_spaceBefore.size() + symbol.size() + right.size() > kMaxTextLength)
        return tooLong();
    left.append(m_spaceBefore).append(symbol).append(right);
    m_spaceBefore.clear();
    m_stack.pop_back();
    return Status::ok();
}

Status TokenDecoder::decodeUnaryOperator(std::string_view prefix, std::string_view suffix)
{
    std::string operand;
    if (Status status = pop(operand); !status)
        return status;
    std::string space = takeSpace();
    if (!prefix.empty())
        return push(space + std::string(prefix) + operand);
    return push(operand + space + std::string(suffix));
}

Status TokenDecoder::decodeParen()
{
    std::string inner;
    if (Status status = pop(inner); !status)
        return status;
    std::string text = takeSpace() + m_spaceBeforeOpen + "(" + inner + m_spaceBeforeClose + ")";
    m_spaceBeforeOpen.clear();
    m_spaceBeforeClose.clear();
    return push(std::move(text));
}

Status TokenDecoder::decodeString()
{
    std::uint8_t count = 0;
    if (!m_tokens.readU8(count))
        return truncated();
    std::string value;
    if (m_biff8)
    {
        if (!readBiff8Characters(m_tokens, count, value))
            return truncated();
    }
    else
    {
        std::span<const std::uint8_t> bytes;
        if (!m_tokens.readBytes(count, bytes))
            return truncated();
        value = m_context.decodeByteString ? m_context.decodeByteString(bytes) : windows1252ToUtf8(bytes);
    }
    return pushOperand(quotedString(value));
}

Status TokenDecoder::decodeAttr()
{
    std::uint8_t options = 0;
    std::uint16_t data = 0;
    // Excel 2.x keeps the attribute's data, and each jump of CHOOSE, in one byte.
    const bool biff2 = m_context.biffVersion == 2;
    std::uint8_t data8 = 0;
    if (!m_tokens.readU8(options) || !(biff2 ? m_tokens.readU8(data8) : m_tokens.readU16(data)))
        return truncated();
    if (biff2)
        data = data8;
    if (options & kAttrChoose)
    {
        // The jump table of CHOOSE: one offset per choice plus the one past the end.
        if (!m_tokens.skip((static_cast<std::size_t>(data) + 1) * (biff2 ? 1 : 2)))
            return truncated();
        return Status::ok();
    }
    if (options & kAttrSum)
        return applyFunction("SUM", 1);
    if (options & kAttrSpace)
        return decodeAttrSpace(data);
    return Status::ok();
}

Status TokenDecoder::decodeAttrSpace(std::uint16_t data)
{
    const auto type = static_cast<std::uint8_t>(data & 0xFF);
    const auto count = static_cast<std::size_t>(data >> 8);
    switch (type)
    {
    case 0x00: // spaces before the next token
    case 0x06: // spaces before the whole expression
        m_spaceBefore.append(count, ' ');
        break;
    case 0x01: // line breaks before the next token
        m_spaceBefore.append(count, '\n');
        break;
    case 0x02: // spaces before an opening parenthesis
        m_spaceBeforeOpen.append(count, ' ');
        break;
    case 0x03: // line breaks before an opening parenthesis
        m_spaceBeforeOpen.append(count, '\n');
        break;
    case 0x04: // spaces before a closing parenthesis
        m_spaceBeforeClose.append(count, ' ');
        break;
    case 0x05: // line breaks before a closing parenthesis
        m_spaceBeforeClose.append(count, '\n');
        break;
    default:
        break;
    }
    return Status::ok();
}

Status TokenDecoder::decodeError()
{
    std::uint8_t code = 0;
    if (!m_tokens.readU8(code))
        return truncated();
    auto text = errorText(code);
    if (!text)
        return damaged("unknown error code " + hexByte(code) + " in formula token 0x1C");
    return pushOperand(std::string(*text));
}

Status TokenDecoder::decodeBool()
{
    std::uint8_t value = 0;
    if (!m_tokens.readU8(value))
        return truncated();
    return pushOperand((value != 0 ? "TRUE" : "FALSE"));
}

Status TokenDecoder::decodeInt()
{
    std::uint16_t value = 0;
    if (!m_tokens.readU16(value))
        return truncated();
    return pushOperand(std::to_string(value));
}

Status TokenDecoder::decodeNum()
{
    double value = 0;
    if (!m_tokens.readDouble(value))
        return truncated();
    return pushOperand(numberText(value));
}

Status TokenDecoder::decodeArray()
{
    // The token itself holds only unused bytes (one fewer in Excel 2.x); the values follow the whole token stream,
    // in token order.
    if (!m_tokens.skip(m_context.biffVersion == 2 ? 6 : 7))
        return truncated();
    std::string text;
    if (Status status = readArrayConstant(m_extra, m_biff8 ? 8 : 5, m_context.decodeByteString, text); !status)
        return status;
    return pushOperand(std::move(text));
}

bool TokenDecoder::readFunctionIndex(std::uint16_t& index)
{
    // Excel 2.x and 3.0 number their functions in one byte.
    if (m_context.biffVersion >= 4)
        return m_tokens.readU16(index);
    std::uint8_t index8 = 0;
    if (!m_tokens.readU8(index8))
        return false;
    index = index8;
    return true;
}

Status TokenDecoder::decodeFunc()
{
    std::uint16_t iftab = 0;
    if (!readFunctionIndex(iftab))
        return truncated();
    auto function = worksheetFunction(iftab);
    if (!function || iftab == kUserDefinedFunction)
        return damaged("unknown function number " + std::to_string(iftab));
    if (function->minArgs != function->maxArgs)
        return damaged("function " + std::string(function->name) + " stored without its argument count");
    return applyFunction(std::string(function->name), function->minArgs);
}

Status TokenDecoder::decodeFuncVar()
{
    std::uint8_t countAndPrompt = 0;
    std::uint16_t tab = 0;
    if (!m_tokens.readU8(countAndPrompt) || !readFunctionIndex(tab))
        return truncated();
    const std::size_t count = countAndPrompt & 0x7F;
    const bool prompt = (countAndPrompt & 0x80) != 0;
    const auto index = static_cast<std::uint16_t>(tab & 0x7FFF);

    if (tab & 0x8000)
    {
        auto command = macroCommand(index);
        if (!command)
            return damaged("unknown macro command number " + std::to_string(index));
        return applyFunction(std::string(*command) + (prompt ? "?" : ""), count);
    }
    if (index == kUserDefinedFunction)
    {
        // The first argument is the function's name (a defined or external name).
        if (count == 0 || count > m_stack.size())
            return damaged("user-defined function call without its name");
        std::string name = displayedFunctionName(std::move(m_stack[m_stack.size() - count]));
        m_stack.erase(m_stack.begin() + static_cast<std::ptrdiff_t>(m_stack.size() - count));
        if (name == kFieldValueFunction)
        {
            if (std::optional<std::string> access = fieldAccess(count - 1))
                return pushOperand(*access);
        }
        return applyFunction(std::move(name), count - 1);
    }
    auto function = worksheetFunction(index);
    if (!function)
        return damaged("unknown function number " + std::to_string(index));
    return applyFunction(std::string(function->name), count);
}

std::optional<std::string> TokenDecoder::fieldAccess(std::size_t argumentCount)
{
    // _FV(record, "field") or _FV(record, "field", TRUE); the flag asks for the bracketed form.
    if (argumentCount < 2 || argumentCount > 3 || argumentCount > m_stack.size())
        return std::nullopt;
    const std::size_t first = m_stack.size() - argumentCount;
    std::optional<std::string> field = stringConstant(m_stack[first + 1]);
    if (!field || (argumentCount == 3 && m_stack[first + 2] != "TRUE" && m_stack[first + 2] != "FALSE"))
        return std::nullopt;
    const bool bracketed = (argumentCount == 3 && m_stack[first + 2] == "TRUE") || !isPlainFieldName(*field);
    std::string text = m_stack[first] + "." + (bracketed ? "[" + *field + "]" : *field);
    m_stack.resize(first);
    return text;
}

Status TokenDecoder::applyFunction(std::string name, std::size_t argumentCount)
{
    if (argumentCount > m_stack.size())
        return damaged("function " + name + " needs more arguments than the formula holds");
    const std::size_t first = m_stack.size() - argumentCount;
    std::size_t length = m_spaceBefore.size() + name.size() + argumentCount + m_spaceBeforeClose.size() + 2;
    for (std::size_t i = first; i < m_stack.size(); ++i)
        length += m_stack[i].size();
    if (length > kMaxTextLength)
        return tooLong();
    std::string text;
    text.reserve(length);
    text.append(m_spaceBefore).append(name).append(1, '(');
    for (std::size_t i = first; i < m_stack.size(); ++i)
    {
        if (i > first)
            text += ',';
        text += m_stack[i];
    }
    text.append(m_spaceBeforeClose).append(1, ')');
    m_spaceBefore.clear();
    m_spaceBeforeClose.clear();
    m_stack.resize(first);
    return push(std::move(text));
}

Status TokenDecoder::decodeName()
{
    std::uint32_t index = 0;
    if (m_biff8)
    {
        if (!m_tokens.readU32(index))
            return truncated();
    }
    else
    {
        // Unused bytes follow the index: 12 in Excel 5.0, 8 in Excel 3.0 and 4.0, 5 in Excel 2.x.
        const std::size_t unused = m_context.biffVersion >= 5 ? 12 : m_context.biffVersion >= 3 ? 8 : 5;
        std::uint16_t index16 = 0;
        if (!m_tokens.readU16(index16) || !m_tokens.skip(unused))
            return truncated();
        index = index16;
    }
    std::optional<std::string> name;
    if (m_context.definedName)
        name = m_context.definedName(index);
    return pushOperand(name.value_or("#REF!"));
}

Status TokenDecoder::decodeNameX()
{
    std::uint32_t sheetRef = 0;
    std::uint16_t index = 0;
    if (m_biff8)
    {
        std::uint16_t ixti = 0;
        if (!m_tokens.readU16(ixti) || !m_tokens.readU16(index) || !m_tokens.skip(2))
            return truncated();
        sheetRef = ixti;
    }
    else
    {
        std::int16_t ixals = 0;
        if (!m_tokens.readI16(ixals) || !m_tokens.skip(8) || !m_tokens.readU16(index) || !m_tokens.skip(12))
            return truncated();
        sheetRef = static_cast<std::uint32_t>(static_cast<std::int32_t>(ixals));
    }
    std::optional<std::string> name;
    if (m_context.externalName)
        name = m_context.externalName(sheetRef, index);
    return pushOperand(name.value_or("#REF!"));
}

Coordinate TokenDecoder::resolve(std::int32_t raw, bool relative, bool offsets, std::uint32_t origin,
                                 std::int32_t limit) const
{
    if (!relative)
        return Coordinate{raw, false};
    const auto base = static_cast<std::int64_t>(origin);
    if (!offsets)
        return Coordinate{static_cast<std::int32_t>(raw - base), true};
    // Offsets wrap around the grid: the cell they reach is taken modulo the number of rows or columns.
    const std::int64_t reached = ((base + raw) % limit + limit) % limit;
    return Coordinate{static_cast<std::int32_t>(reached - base), true};
}

Status TokenDecoder::readCell(bool offsets, CellReference& cell)
{
    std::uint16_t rowField = 0;
    std::int32_t row = 0;
    std::int32_t col = 0;
    bool rowRelative = false;
    bool colRelative = false;
    if (m_biff8)
    {
        std::uint16_t colField = 0;
        if (!m_tokens.readU16(rowField) || !m_tokens.readU16(colField))
            return truncated();
        row = rowField;
        col = colField & 0x3FFF;
        rowRelative = (colField & 0x8000) != 0;
        colRelative = (colField & 0x4000) != 0;
    }
    else
    {
        std::uint8_t colField = 0;
        if (!m_tokens.readU16(rowField) || !m_tokens.readU8(colField))
            return truncated();
        row = rowField & 0x3FFF;
        col = colField;
        rowRelative = (rowField & 0x8000) != 0;
        colRelative = (rowField & 0x4000) != 0;
    }
    cell.row = resolve(row, rowRelative, offsets, m_context.row, m_biff8 ? kBiff8Rows : kBiff5Rows);
    cell.col = resolve(col, colRelative, offsets, m_context.col, kColumns);
    return Status::ok();
}

Status TokenDecoder::readArea(bool offsets, CellReference& first, CellReference& last, AreaShape& shape)
{
    std::uint16_t rows[2] = {};
    std::int32_t cols[2] = {};
    bool rowRelative[2] = {};
    bool colRelative[2] = {};
    if (!m_tokens.readU16(rows[0]) || !m_tokens.readU16(rows[1]))
        return truncated();
    for (int i = 0; i < 2; ++i)
    {
        if (m_biff8)
        {
            std::uint16_t colField = 0;
            if (!m_tokens.readU16(colField))
                return truncated();
            cols[i] = colField & 0x3FFF;
            rowRelative[i] = (colField & 0x8000) != 0;
            colRelative[i] = (colField & 0x4000) != 0;
        }
        else
        {
            std::uint8_t colField = 0;
            if (!m_tokens.readU8(colField))
                return truncated();
            cols[i] = colField;
            rowRelative[i] = (rows[i] & 0x8000) != 0;
            colRelative[i] = (rows[i] & 0x4000) != 0;
            rows[i] = static_cast<std::uint16_t>(rows[i] & 0x3FFF);
        }
    }
    const std::int32_t rowLimit = m_biff8 ? kBiff8Rows : kBiff5Rows;
    first.row = resolve(rows[0], rowRelative[0], offsets, m_context.row, rowLimit);
    last.row = resolve(rows[1], rowRelative[1], offsets, m_context.row, rowLimit);
    first.col = resolve(cols[0], colRelative[0], offsets, m_context.col, kColumns);
    last.col = resolve(cols[1], colRelative[1], offsets, m_context.col, kColumns);

    // Stored positions spanning the whole grid one way make whole rows or columns; offsets never do.
    const bool rowsArePositions = !offsets || (!rowRelative[0] && !rowRelative[1]);
    const bool colsArePositions = !offsets || (!colRelative[0] && !colRelative[1]);
    shape = AreaShape::Cells;
    if (colsArePositions && cols[0] == 0 && cols[1] == kColumns - 1)
        shape = AreaShape::WholeRows;
    else if (rowsArePositions && rows[0] == 0 && rows[1] == rowLimit - 1)
        shape = AreaShape::WholeColumns;
    return Status::ok();
}

Status TokenDecoder::decodeRef(bool offsets)
{
    CellReference cell;
    if (Status status = readCell(offsets, cell); !status)
        return status;
    return pushOperand(cellText(cell));
}

Status TokenDecoder::decodeArea(bool offsets)
{
    CellReference first;
    CellReference last;
    AreaShape shape = AreaShape::Cells;
    if (Status status = readArea(offsets, first, last, shape); !status)
        return status;
    return pushOperand(areaText(first, last, shape));
}

Status TokenDecoder::decodeMem()
{
    // The tokens that compute the reference follow this one, so only its own bytes are skipped.
    const std::uint8_t base = static_cast<std::uint8_t>(0x20 | (m_ptg & 0x1F));
    const bool hasReservedBytes = base == 0x26 || base == 0x27 || base == 0x28;
    std::uint16_t innerSize = 0;
    std::uint8_t innerSize8 = 0;
    // Excel 2.x counts the inner tokens in one byte.
    const bool biff2 = m_context.biffVersion == 2;
    if ((hasReservedBytes && !m_tokens.skip(4)) || !(biff2 ? m_tokens.readU8(innerSize8) : m_tokens.readU16(innerSize)))
        return truncated();
    if (biff2)
        innerSize = innerSize8;
    if (innerSize > m_tokens.remaining())
        return damaged("formula token " + hexByte(m_ptg) + " claims more bytes than remain");
    if (base == 0x26)
    {
        // PtgMemArea keeps the areas it cached in the extra data, which must be passed over in order.
        std::uint16_t areaCount = 0;
        if (!m_extra.readU16(areaCount) || !m_extra.skip(static_cast<std::size_t>(areaCount) * (m_biff8 ? 8 : 6)))
            return damaged("cached areas of formula token " + hexByte(m_ptg) + " are truncated");
    }
    return Status::ok();
}

Status TokenDecoder::decodeRefErr()
{
    if (!m_tokens.skip(m_biff8 ? 4 : 3))
        return truncated();
    return pushOperand("#REF!");
}

Status TokenDecoder::decodeAreaErr()
{
    if (!m_tokens.skip(m_biff8 ? 8 : 6))
        return truncated();
    return pushOperand("#REF!");
}

Status TokenDecoder::readSheetPrefix(std::optional<std::string>& prefix)
{
    prefix.reset();
    if (m_biff8)
    {
        std::uint16_t ixti = 0;
        if (!m_tokens.readU16(ixti))
            return truncated();
        if (m_context.sheetPrefix)
            prefix = m_context.sheetPrefix(ixti);
        return Status::ok();
    }
    std::int16_t externSheet = 0;
    std::int16_t firstSheet = 0;
    std::int16_t lastSheet = 0;
    if (!m_tokens.readI16(externSheet) || !m_tokens.skip(8) || !m_tokens.readI16(firstSheet) ||
        !m_tokens.readI16(lastSheet))
        return truncated();
    if (m_context.sheetPrefixBiff5)
        prefix = m_context.sheetPrefixBiff5(externSheet, firstSheet, lastSheet);
    return Status::ok();
}

Status TokenDecoder::decodeRef3d()
{
    std::optional<std::string> prefix;
    CellReference cell;
    if (Status status = readSheetPrefix(prefix); !status)
        return status;
    if (Status status = readCell(m_context.sharedFormula, cell); !status)
        return status;
    return pushOperand((prefix ? *prefix + "!" + cellText(cell) : std::string("#REF!")));
}

Status TokenDecoder::decodeArea3d()
{
    std::optional<std::string> prefix;
    CellReference first;
    CellReference last;
    AreaShape shape = AreaShape::Cells;
    if (Status status = readSheetPrefix(prefix); !status)
        return status;
    if (Status status = readArea(m_context.sharedFormula, first, last, shape); !status)
        return status;
    return pushOperand((prefix ? *prefix + "!" + areaText(first, last, shape) : std::string("#REF!")));
}

Status TokenDecoder::decodeRefErr3d()
{
    std::optional<std::string> prefix;
    if (Status status = readSheetPrefix(prefix); !status)
        return status;
    if (!m_tokens.skip(m_biff8 ? 4 : 3))
        return truncated();
    return pushOperand((prefix ? *prefix + "!#REF!" : std::string("#REF!")));
}

Status TokenDecoder::decodeAreaErr3d()
{
    std::optional<std::string> prefix;
    if (Status status = readSheetPrefix(prefix); !status)
        return status;
    if (!m_tokens.skip(m_biff8 ? 8 : 6))
        return truncated();
    return pushOperand((prefix ? *prefix + "!#REF!" : std::string("#REF!")));
}

Status TokenDecoder::push(std::string text)
{
    if (m_stack.size() >= kMaxStackDepth)
    {
        return Status(EngineErrc::LimitExceeded, "formula keeps more than " + std::to_string(kMaxStackDepth) +
                                                     " operands at offset " + std::to_string(m_tokenOffset));
    }
    if (text.size() > kMaxTextLength)
        return tooLong();
    m_stack.push_back(std::move(text));
    return Status::ok();
}

Status TokenDecoder::pushOperand(std::string text)
{
    if (!m_spaceBefore.empty())
    {
        text.insert(0, m_spaceBefore);
        m_spaceBefore.clear();
    }
    return push(std::move(text));
}

Status TokenDecoder::tooLong() const
{
    return Status(EngineErrc::LimitExceeded, "formula text grows past " + std::to_string(kMaxTextLength) +
                                                 " characters at offset " + std::to_string(m_tokenOffset));
}

Status TokenDecoder::pop(std::string& text)
{
    if (m_stack.empty())
        return damaged("formula token " + hexByte(m_ptg) + " misses an operand");
    text = std::move(m_stack.back());
    m_stack.pop_back();
    return Status::ok();
}

std::string TokenDecoder::takeSpace()
{
    std::string space;
    space.swap(m_spaceBefore);
    return space;
}

Status TokenDecoder::truncated() const
{
    return damaged("formula token " + hexByte(m_ptg) + " is truncated");
}

Status TokenDecoder::damaged(const std::string& what) const
{
    return Status(EngineErrc::DamagedFile, what + " at offset " + std::to_string(m_tokenOffset));
}

} // namespace velquin::engine::xls::formula
