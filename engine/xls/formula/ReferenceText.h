// R1C1 text of cell and area references: "R[-1]C", "R2C3", "R1C1:R2C2", "R1:R3", "C[2]".
#pragma once

#include <cstdint>
#include <string>

namespace velquin::engine::xls::formula {

/// One coordinate of a reference: a 0-based absolute index, or an offset from the formula's own cell.
struct Coordinate
{
    std::int32_t value = 0;
    bool relative = false;
};

struct CellReference
{
    Coordinate row;
    Coordinate col;
};

/// How an area is written: as cells, or as whole rows or columns when it spans the full grid the other way.
enum class AreaShape
{
    Cells,
    WholeRows,
    WholeColumns,
};

/// "R", "R[-2]" or "R5".
std::string rowText(Coordinate row);
/// "C", "C[3]" or "C7".
std::string colText(Coordinate col);
/// "RC[-1]", "R2C3".
std::string cellText(const CellReference& cell);
/// "R1C1:R2C2"; whole rows "R1:R3" or "R[-1]" (one row), whole columns "C1:C3" or "C[2]".
std::string areaText(const CellReference& first, const CellReference& last, AreaShape shape);

} // namespace velquin::engine::xls::formula
