// Streams the rows and cells of a worksheet's <sheetData> to a sheet sink without holding the sheet.
#pragma once

#include "engine/Error.h"
#include "engine/formula/R1C1Translator.h"
#include "engine/model/Sheet.h"

#include <cstdint>
#include <string_view>

namespace velquin::engine::xlsx {

class ColorResolver;
class SharedStrings;
class ZipPartStream;

struct SheetDataContext
{
    const SharedStrings* strings = nullptr;
    const ColorResolver* colors = nullptr; ///< for the runs of inline rich text
    std::size_t styleCount = 0;            ///< cell styles of the workbook; other indices read as -1
    bool date1904 = false;
    std::span<const formula::ExternalBook> externalBooks; ///< what "[1]", "[2]"... of formulas stand for
};

/// Parses a worksheet part from memory (`part`) or as it inflates (`stream`), calling sink.row() and
/// sink.cell() in order. beginSheet and endSheet are the caller's. Errors: DamagedFile (not well-formed, cells
/// out of order or beyond the largest sheet, unknown shared string), LimitExceeded, Timeout (the sink asked to
/// stop).
Status readSheetData(std::string_view part, std::string_view partName, const SheetDataContext& context,
                     model::SheetSink& sink);
Status readSheetData(ZipPartStream& stream, const SheetDataContext& context, model::SheetSink& sink);

/// The serial number of an ISO 8601 date or date-time ("2017-03-14", "2017-03-14T10:30:00Z", "10:30:00") in the
/// 1900 or 1904 date system. False when it is not such a date.
bool isoDateToSerial(std::string_view text, bool date1904, double& serial);

} // namespace velquin::engine::xlsx
