// Reads a binary worksheet part (sheetN.bin) in two passes over its records: first everything but the cells
// (columns, views, merges, links, filter, validations, conditional formats), then the rows and cells as they come.
#pragma once

#include "engine/Error.h"
#include "engine/model/Sheet.h"
#include "engine/xls/SharedStringTable.h"
#include "engine/xls/formula/FormulaDecompiler.h"
#include "engine/xlsb/RecordReader.h"

#include <string>
#include <vector>

namespace velquin::engine::xlsx {
class SharedStrings;
}

namespace velquin::engine::xlsb {

/// What a sheet needs from its workbook.
struct BinarySheetContext
{
    const xlsx::SharedStrings* strings = nullptr;
    std::size_t styleCount = 0; ///< cell styles of the workbook; other indices read as -1
    int maxDigitWidth = 7;      ///< of the Normal font, for widths in characters
    const std::vector<std::string>* differentialCss = nullptr;
    xls::SharedStringTable::FontLookup fonts; ///< for rich text in cells
    xls::formula::FormulaContext formulas;    ///< names and sheet references; row and column are set per cell
};

/// Everything of a sheet but its cells. Hyperlinks carry their relationship id (to be resolved by the caller) and
/// their location inside the workbook.
struct BinarySheetStructure
{
    model::SheetHeader header;
    model::SheetOptions options;
    std::vector<std::string> linkRelationships; ///< per header.hyperlinks entry, empty for none
    std::vector<std::string> linkLocations;     ///< per header.hyperlinks entry, empty for none
};

/// First pass. Errors: DamagedFile, LimitExceeded, Timeout.
Status readBinarySheetStructure(RecordReader& records, BinarySheetContext& context, BinarySheetStructure& out);

/// Second pass: calls sink.row() and sink.cell() in order. Errors: DamagedFile (records cut short, cells out of
/// order or beyond the last row or column, an unknown shared string), LimitExceeded, Timeout (the sink asked to
/// stop).
Status readBinarySheetCells(RecordReader& records, BinarySheetContext& context, model::SheetSink& sink);

} // namespace velquin::engine::xlsb
