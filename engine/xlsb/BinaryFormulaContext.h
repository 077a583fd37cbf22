// What the formula decompiler needs from a binary workbook: names, add-in functions and sheet prefixes.
#pragma once

#include "engine/xls/formula/FormulaDecompiler.h"
#include "engine/xlsb/BinaryTables.h"
#include "engine/xlsb/BinaryWorkbookPart.h"

#include <memory>

namespace velquin::engine::xlsb {

/// A context for formulas of this workbook; set row, col and sharedFormula per use. Keeps a shared copy of what
/// it needs, so it may outlive `part`. `externalPaths` holds the target of each external book (by book index),
/// empty where unknown; `tables` are the tables of all sheets, which structured references name by id.
xls::formula::FormulaContext makeBinaryFormulaContext(const BinaryWorkbookPart& part,
                                                      const std::vector<std::string>& externalPaths,
                                                      std::vector<BinaryTable> tables);

} // namespace velquin::engine::xlsb
