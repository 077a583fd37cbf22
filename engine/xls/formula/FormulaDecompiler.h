// Turns BIFF parsed-expression tokens (BIFF5 and BIFF8) into formula text in R1C1 notation, as Excel shows it.
#pragma once

#include "engine/Error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace velquin::engine::xls::formula {

/// What a token stream needs from the workbook around it. Every callback may be empty; missing information is
/// rendered as a #REF! reference rather than failing.
struct FormulaContext
{
    int biffVersion = 8; ///< 5, 8 or 12 (the binary workbook format): token layouts differ
    /// 0-based cell whose formula text is wanted; relative references count from it. For a shared or array
    /// formula this is the cell that uses it (the one holding PtgExp), not the anchor.
    std::uint32_t row = 0;
    std::uint32_t col = 0;
    /// Shared formulas (SHRFMLA), conditional formats and data validations store relative references as offsets
    /// (PtgRefN, PtgAreaN, and PtgRef3d/PtgArea3d too); in cell formulas, ARRAY records and names they are
    /// absolute positions with relative flags.
    bool sharedFormula = false;
    /// Name of a defined name by its 1-based NAME index (PtgName), e.g. "Sales" or "Sheet1!Local".
    std::function<std::optional<std::string>(std::uint32_t index)> definedName;
    /// External name by EXTERNSHEET index and 1-based name index (PtgNameX): add-in functions and names in other
    /// books.
    std::function<std::optional<std::string>(std::uint32_t sheetRef, std::uint32_t index)> externalName;
    /// BIFF8: the sheet prefix for an EXTERNSHEET index (PtgRef3d, PtgArea3d): "Sheet1", "'My Sheet'",
    /// "Sheet1:Sheet3", "[Book.xls]Sheet1". Empty optional = unknown (#REF!).
    std::function<std::optional<std::string>(std::uint32_t externSheetIndex)> sheetPrefix;
    /// BIFF5: the sheet prefix for an EXTERNSHEET index and the first and last sheet numbers of the token.
    std::function<std::optional<std::string>(std::int32_t externSheetIndex, std::int32_t firstSheet,
                                             std::int32_t lastSheet)>
        sheetPrefixBiff5;
    /// BIFF12: the text of a structured reference to a table (PtgList): the table's id, the token's flags (which
    /// columns and rows) and its first and last column. Empty optional = unknown (#REF!).
    std::function<std::optional<std::string>(std::uint32_t table, std::uint16_t flags, std::uint16_t firstColumn,
                                             std::uint16_t lastColumn)>
        tableReference;
    /// BIFF5: a byte string of the formula (string constants) as UTF-8, decoded with the workbook's code page.
    /// Empty = Windows-1252.
    std::function<std::string(std::span<const std::uint8_t> bytes)> decodeByteString;
};

/// The text of a formula, or why it could not be read.
struct DecompiledFormula
{
    Status status;
    std::string text; ///< R1C1 with its leading "=", e.g. "=SUM(R[-3]C:R[-1]C)"
    /// Set when the stream is a PtgExp or PtgTbl (the cell belongs to a shared, array or table formula whose
    /// tokens live in a SHRFMLA, ARRAY or TABLE record anchored at this 0-based cell).
    std::optional<std::pair<std::uint32_t, std::uint32_t>> anchor;
    bool isTable = false;
};

/// Decompiles `rgce` (the token bytes) with `rgcb` (the extra data that follows them: array constants, ...).
/// Never reads outside the spans; a token that claims more bytes than there are gives DamagedFile.
DecompiledFormula decompile(std::span<const std::uint8_t> rgce, std::span<const std::uint8_t> rgcb,
                            const FormulaContext& context);

} // namespace velquin::engine::xls::formula
