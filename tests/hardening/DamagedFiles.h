// Makes damaged variants of a workbook: truncated, bytes flipped, package parts removed or cut short, BIFF records
// duplicated or claiming more bytes than they have.
#pragma once

#include "tests/support/CompoundFileBuilder.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velquin::test {

struct DamagedFile
{
    std::string name;  ///< what was done, e.g. "truncated-50pct", "removed-xl_styles.xml"
    std::string bytes; ///< the damaged workbook
};

/// Every variant of `original` (the bytes of an .xls, .xlsx or .xlsm file), reproducible for a given `seed`.
/// The container is recognised from the bytes: zip packages also get part-level damage, compound files
/// record-level damage.
std::vector<DamagedFile> damagedVariants(const std::string& original, std::uint32_t seed);

/// The names of the parts of a zip package, in archive order; empty when the bytes are not a zip.
std::vector<std::string> zipPartNames(const std::string& package);

/// The BIFF workbook stream ("Workbook" or "Book") of a compound file; empty when there is none.
std::string biffStream(const std::string& compoundFile);

/// A package holding `parts` (name, content) with deflate level 1; empty on failure.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& parts);

/// The parts of a one-sheet .xlsx whose sheet part holds `sheetData` (the content of <sheetData>).
std::vector<std::pair<std::string, std::string>> xlsxParts(const std::string& sheetData);

/// makeZip(xlsxParts(sheetData)).
std::string makeXlsx(const std::string& sheetData);

} // namespace velquin::test
