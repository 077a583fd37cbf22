// R1C1 text of cell and area references.
#include "engine/xls/formula/ReferenceText.h"

namespace velquin::engine::xls::formula {

namespace {

std::string coordinateText(char letter, Coordinate coordinate)
{
    std::string text(1, letter);
    if (!coordinate.relative)
        return text + std::to_string(static_cast<std::int64_t>(coordinate.value) + 1);
    if (coordinate.value != 0)
        text += '[' + std::to_string(coordinate.value) + ']';
    return text;
}

std::string spanText(const std::string& first, const std::string& last)
{
    return first == last ? first : first + ':' + last;
}

} // namespace

std::string rowText(Coordinate row)
{
    return coordinateText('R', row);
}

std::string colText(Coordinate col)
{
    return coordinateText('C', col);
}

std::string cellText(const CellReference& cell)
{
    return rowText(cell.row) + colText(cell.col);
}

std::string areaText(const CellReference& first, const CellReference& last, AreaShape shape)
{
    switch (shape)
    {
    case AreaShape::WholeRows:
        return spanText(rowText(first.row), rowText(last.row));
    case AreaShape::WholeColumns:
        return spanText(colText(first.col), colText(last.col));
    case AreaShape::Cells:
        break;
    }
    return cellText(first) + ':' + cellText(last);
}

} // namespace velquin::engine::xls::formula
