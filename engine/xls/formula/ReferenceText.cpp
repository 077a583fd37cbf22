// R1C1 text of cell and area references.
#include "engine/xls/formula/ReferenceText.h"

namespace velquin::engine::xls::formula {

namespace {

void appendCoordinate(std::string& text, char letter, Coordinate coordinate)
{
    text += letter;
    if (!coordinate.relative)
    {
        text += std::to_string(static_cast<std::int64_t>(coordinate.value) + 1);
    }
    else if (coordinate.value != 0)
    {
        text += '[';
        text += std::to_string(coordinate.value);
        text += ']';
    }
}

void appendCell(std::string& text, const CellReference& cell)
{
    appendCoordinate(text, 'R', cell.row);
    appendCoordinate(text, 'C', cell.col);
}

// "R1:R3", or "R2" when both ends are the same row (likewise for columns).
std::string spanText(char letter, Coordinate first, Coordinate last)
{
    std::string text;
    appendCoordinate(text, letter, first);
    if (first.value != last.value || first.relative != last.relative)
    {
        text += ':';
        appendCoordinate(text, letter, last);
    }
    return text;
}

} // namespace

std::string rowText(Coordinate row)
{
    std::string text;
    appendCoordinate(text, 'R', row);
    return text;
}

std::string colText(Coordinate col)
{
    std::string text;
    appendCoordinate(text, 'C', col);
    return text;
}

std::string cellText(const CellReference& cell)
{
    std::string text;
    appendCell(text, cell);
    return text;
}

std::string areaText(const CellReference& first, const CellReference& last, AreaShape shape)
{
    switch (shape)
    {
    case AreaShape::WholeRows:
        return spanText('R', first.row, last.row);
    case AreaShape::WholeColumns:
        return spanText('C', first.col, last.col);
    case AreaShape::Cells:
        break;
    }
    std::string text;
    appendCell(text, first);
    text += ':';
    appendCell(text, last);
    return text;
}

} // namespace velquin::engine::xls::formula
