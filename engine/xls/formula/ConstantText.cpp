// Text of the constants a formula can hold: strings, errors, booleans and array constants.
#include "engine/xls/formula/ConstantText.h"

#include "engine/Text.h"
#include "engine/xls/formula/NumberText.h"

namespace velquin::engine::xls::formula {

namespace {

// 0x80..0x9F of Windows-1252; the five holes map to the C1 control with the same number.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::uint8_t kArrayEmpty = 0x00;
constexpr std::uint8_t kArrayNumber = 0x01;
constexpr std::uint8_t kArrayString = 0x02;
constexpr std::uint8_t kArrayBoolean = 0x04;
constexpr std::uint8_t kArrayError = 0x10;

Status damagedArray(const ByteCursor& extra, const char* what)
{
    return Status(EngineErrc::DamagedFile, std::string("array constant ") + what + " at offset " +
                                               std::to_string(extra.offset()) + " of the formula's extra data");
}

bool readArrayString(ByteCursor& extra, int biffVersion, const ByteStringDecoder& decodeByteString, std::string& text)
{
    if (biffVersion >= 12)
    {
        std::uint16_t count = 0;
        text.clear();
        return extra.readU16(count) && readUtf16Characters(extra, count, text);
    }
    if (biffVersion >= 8)
    {
        std::uint16_t count = 0;
        return extra.readU16(count) && readBiff8Characters(extra, count, text);
    }
    std::uint8_t count = 0;
    std::span<const std::uint8_t> bytes;
    if (!extra.readU8(count) || !extra.readBytes(count, bytes))
        return false;
    text = decodeByteString ? decodeByteString(bytes) : windows1252ToUtf8(bytes);
    return true;
}

// A value of the binary workbook format: no padding to eight bytes, and types of its own numbering.
bool readArrayValue12(ByteCursor& extra, std::uint8_t type, std::string& text, bool& known)
{
    std::uint8_t value = 0;
    double number = 0;
    switch (type)
    {
    case 0x00:
        if (!extra.readDouble(number))
            return false;
        text = numberText(number);
        return true;
    case 0x01:
        if (!readArrayString(extra, 12, {}, text))
            return false;
        text = quotedString(text);
        return true;
    case 0x02:
        if (!extra.readU8(value))
            return false;
        text = value != 0 ? "TRUE" : "FALSE";
        return true;
    case 0x04:
        if (!extra.readU8(value) || !extra.skip(3))
            return false;
        text = std::string(errorText(value).value_or("#N/A"));
        return true;
    default:
        known = false;
        return false;
    }
}

// One value of the array; false when its bytes are missing or its type is unknown (`known` tells which).
bool readArrayValue(ByteCursor& extra, int biffVersion, const ByteStringDecoder& decodeByteString, std::string& text,
                    bool& known)
{
    known = true;
    std::uint8_t type = 0;
    if (!extra.readU8(type))
        return false;
    if (biffVersion >= 12)
        return readArrayValue12(extra, type, text, known);
    switch (type)
    {
    case kArrayEmpty:
        text.clear();
        return extra.skip(8);
    case kArrayNumber: {
        double value = 0;
        if (!extra.readDouble(value))
            return false;
        text = numberText(value);
        return true;
    }
    case kArrayString: {
        std::string value;
        if (!readArrayString(extra, biffVersion, decodeByteString, value))
            return false;
        text = quotedString(value);
        return true;
    }
    case kArrayBoolean: {
        std::uint8_t value = 0;
        if (!extra.readU8(value) || !extra.skip(7))
            return false;
        text = value != 0 ? "TRUE" : "FALSE";
        return true;
    }
    case kArrayError: {
        std::uint8_t value = 0;
        if (!extra.readU8(value) || !extra.skip(7))
            return false;
        text = std::string(errorText(value).value_or("#N/A"));
        return true;
    }
    default:
        known = false;
        return false;
    }
}

} // namespace

std::string windows1252ToUtf8(std::span<const std::uint8_t> bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (std::uint8_t byte : bytes)
    {
        if (byte >= 0x80 && byte < 0xA0)
            appendUtf8(out, kWindows1252High[byte - 0x80]);
        else
            appendUtf8(out, byte);
    }
    return out;
}

std::string quotedString(std::string_view text)
{
    std::string out = "\"";
    for (char c : text)
    {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + '"';
}

std::optional<std::string_view> errorText(std::uint8_t code)
{
    switch (code)
    {
    case 0x00:
        return "#NULL!";
    case 0x07:
        return "#DIV/0!";
    case 0x0F:
        return "#VALUE!";
    case 0x17:
        return "#REF!";
    case 0x1D:
        return "#NAME?";
    case 0x24:
        return "#NUM!";
    case 0x2A:
        return "#N/A";
    case 0x2B:
        return "#GETTING_DATA";
    default:
        return std::nullopt;
    }
}

bool readBiff8Characters(ByteCursor& cursor, std::size_t count, std::string& utf8)
{
    std::uint8_t options = 0;
    if (!cursor.readU8(options))
        return false;
    utf8.clear();
    if ((options & 0x01) == 0)
    {
        std::span<const std::uint8_t> bytes;
        if (!cursor.readBytes(count, bytes))
            return false;
        for (std::uint8_t byte : bytes)
            appendUtf8(utf8, byte);
        return true;
    }
    return readUtf16Characters(cursor, count, utf8);
}

bool readUtf16Characters(ByteCursor& cursor, std::size_t count, std::string& utf8)
{
    if (cursor.remaining() / 2 < count)
        return false;
    for (std::size_t i = 0; i < count; ++i)
    {
        std::uint16_t unit = 0;
        cursor.readU16(unit);
        char32_t code = unit;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < count)
        {
            std::uint16_t low = 0;
            ByteCursor peek = cursor;
            if (peek.readU16(low) && low >= 0xDC00 && low < 0xE000)
            {
                cursor.readU16(low);
                ++i;
                code = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00u);
            }
        }
        if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        appendUtf8(utf8, code);
    }
    return true;
}

Status readArrayConstant(ByteCursor& extra, int biffVersion, const ByteStringDecoder& decodeByteString,
                         std::string& text)
{
    std::size_t columns = 0;
    std::size_t rows = 0;
    if (biffVersion >= 12)
    {
        std::uint32_t rowCount = 0;
        std::uint32_t columnCount = 0;
        if (!extra.readU32(rowCount) || !extra.readU32(columnCount))
            return damagedArray(extra, "size is truncated");
        rows = rowCount;
        columns = columnCount;
        if (rows == 0 || columns == 0 || rows > extra.remaining() || columns > extra.remaining())
            return damagedArray(extra, "claims more values than its data holds");
    }
    else
    {
        std::uint8_t lastColumn = 0;
        std::uint16_t lastRow = 0;
        if (!extra.readU8(lastColumn) || !extra.readU16(lastRow))
            return damagedArray(extra, "size is truncated");
        columns = static_cast<std::size_t>(lastColumn) + 1;
        rows = static_cast<std::size_t>(lastRow) + 1;
    }
    // Every value takes at least two bytes (type and a one-character string), so this bounds the loop by input.
    if (columns * rows > extra.remaining() / 2)
        return damagedArray(extra, "claims more values than its data holds");

    std::string out(1, '{');
    std::string value;
    for (std::size_t row = 0; row < rows; ++row)
    {
        if (row > 0)
            out += ';';
        for (std::size_t column = 0; column < columns; ++column)
        {
            if (column > 0)
                out += ',';
            bool known = true;
            if (!readArrayValue(extra, biffVersion, decodeByteString, value, known))
                return damagedArray(extra, known ? "value is truncated" : "value has an unknown type");
            out += value;
        }
    }
    out += '}';
    text = std::move(out);
    return Status::ok();
}

} // namespace velquin::engine::xls::formula
