// Reads the binary workbook part (workbook.bin): sheets, defined names, the references to other sheets and books,
// the date system, the window and protection.
#pragma once

#include "engine/Error.h"
#include "engine/model/Workbook.h"
#include "engine/xlsx/PackageWorkbook.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velquin::engine::xlsb {

/// A book that formulas refer to: this one, an add-in (whose names are functions) or another workbook.
struct SupportingBook
{
    enum class Kind : std::uint8_t
    {
        Self,
        Same,
        AddIn,
        External
    };
    Kind kind = Kind::Self;
    std::string relationshipId;      ///< External: the externalLink part's relationship
    std::vector<std::string> sheets; ///< External: its sheet names
    std::vector<std::string> names;  ///< AddIn: its function names; External: its names (BrtPlaceholderName)
};

/// One entry of the sheet-reference table (3-D references and external names carry its index).
struct SheetReference
{
    std::uint32_t book = 0;
    std::int32_t firstSheet = -1;
    std::int32_t lastSheet = -1;
};

struct BinaryName
{
    std::string name;
    int sheet = -1; ///< index into sheets for a local name
    bool hidden = false;
    bool function = false; ///< names a function (a macro's or one newer than the format), not a range
    std::vector<std::uint8_t> rgce, rgcb;
};

struct BinaryWorkbookPart : xlsx::WorkbookFrame
{
    std::vector<BinaryName> names;
    std::vector<SupportingBook> books;
    std::vector<SheetReference> references;
};

/// Parses workbook.bin. Errors: DamagedFile (records cut short, no sheets), LimitExceeded, Timeout.
Status readBinaryWorkbookPart(std::span<const std::uint8_t> bytes, const std::string& partName,
                              BinaryWorkbookPart& out);

} // namespace velquin::engine::xlsb
