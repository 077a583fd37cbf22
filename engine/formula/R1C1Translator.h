// Turns formulas and ranges from A1 notation into R1C1 notation relative to a cell, as SpreadsheetML 2003 stores them.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velquin::engine::formula {

/// An external workbook as the "[n]" of OOXML formula text stands for it (n counts from 1): its folder with the
/// trailing separator ("C:\\Docs\\", empty when the link gives none) and its file name.
struct ExternalBook
{
    std::string folder, file;
};

/// Appends "=" and the R1C1 form of `a1` (an A1 formula without "=", as OOXML stores it) to `out`. References
/// without "$" become offsets from the cell at 0-based (`row`, `col`): B3 seen from B2 is "R[1]C". Whole rows and
/// columns, sheet prefixes, 3-D references, names, functions (without the "_xlfn." prefix Excel adds to newer
/// ones), string literals, error literals, array constants and structured references are kept. A "[n]" of an
/// external workbook in `books` is written with its path, as Excel shows it: "[1]Sheet1!A1" as
/// "'C:\\Docs\\[Book2.xlsx]Sheet1'!R1C1", "[1]!Name" as "Book2.xlsx!Name". Never fails: what is not understood
/// is copied as it is.
void appendR1C1Formula(std::string& out, std::string_view a1, std::uint32_t row, std::uint32_t col,
                       std::span<const ExternalBook> books = {});

/// Same as appendR1C1Formula, returned as a new string.
std::string toR1C1Formula(std::string_view a1, std::uint32_t row, std::uint32_t col,
                          std::span<const ExternalBook> books = {});

/// Translates a list of ranges as OOXML writes them in sqref/ref attributes ("A1:B3 D5", "A:A", "3:4") to R1C1
/// joined by ",". With `relative`, offsets from the 0-based cell (`row`, `col`) ("RC:R[2]C"); otherwise absolute
/// ("R1C1:R3C2"). False when a part is not a range; `out` is then unspecified.
bool rangeListToR1C1(std::string_view ranges, bool relative, std::uint32_t row, std::uint32_t col, std::string& out);

/// True when sheet name `name`, or a 3-D pair "First:Last", must be quoted before "!" in R1C1 formula text: when
/// it holds anything but letters, digits, "_" and ".", starts with a digit, or reads as an R1C1 reference ("R",
/// "C3", "RC", "R1C1"). Names that read as A1 cells ("Q3") need no quotes in R1C1 text.
bool sheetNameNeedsQuotes(std::string_view name);

/// One A1 range "A1" or "A1:C3" as 0-based corners (first <= last). False when it is not a cell range.
struct CellRange
{
    std::uint32_t firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
};
bool parseA1Range(std::string_view text, CellRange& range);
/// One absolute R1C1 range: "R2C3", "R1C1:R4C2", whole rows "R5" or "R1:R3", whole columns "C4" or "C1:C3".
/// False for relative references ("R[1]C") and anything else.
bool parseR1C1Range(std::string_view text, CellRange& range);

} // namespace velquin::engine::formula
