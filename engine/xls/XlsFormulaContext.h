// What the formula decompiler needs from the workbook: names, external names and sheet prefixes.
#pragma once

#include "engine/xls/XlsGlobals.h"
#include "engine/xls/formula/FormulaDecompiler.h"

#include <memory>
#include <string>

namespace velquin::engine::xls {

/// A context for formulas of this workbook; set row, col and sharedFormula per use. `globals` must outlive it.
formula::FormulaContext makeFormulaContext(const XlsGlobals& globals);

/// "RC:R[2]C[1]" for a range relative to the cell (row, col); "RC" for the cell alone.
std::string relativeRangeR1C1(std::uint32_t row, std::uint32_t col, std::uint32_t firstRow, std::uint32_t firstCol,
                              std::uint32_t lastRow, std::uint32_t lastCol);
/// "R1C1:R3C4" (1-based absolute), "R1C1" for one cell, "C2:C3" for columns over all of BIFF8's 65,536 rows.
std::string absoluteRangeR1C1(std::uint32_t firstRow, std::uint32_t firstCol, std::uint32_t lastRow,
                              std::uint32_t lastCol);

} // namespace velquin::engine::xls
