// Turns BIFF parsed-expression tokens into R1C1 formula text.
#include "engine/xls/formula/FormulaDecompiler.h"

namespace velquin::engine::xls::formula {

DecompiledFormula decompile(std::span<const std::uint8_t>, std::span<const std::uint8_t>, const FormulaContext&)
{
    DecompiledFormula result;
    result.status = Status(EngineErrc::UnsupportedFormat, "Formulas cannot be read yet.");
    return result;
}

} // namespace velquin::engine::xls::formula
