// Output names of a batch: the workbook's name without extension, spaces and dots, then counter digits while a
// folder of that name is in the way.
#pragma once

#include <string>
#include <vector>

namespace velquin::cli {

/// `text` without any space or ".".
std::string removeSpacesAndDots(const std::string& text);

/// The output path without ".xml" for workbook file name `fileName` in `outputFolder` (which ends with "/"):
/// cut before the last ".", remove spaces and dots, and while a visible folder of the candidate's name exists,
/// append the next counter value to the candidate as it stands ("Book1" -> "Book11" -> "Book112").
std::string outputBasePath(const std::string& outputFolder, const std::string& fileName);

/// The workbooks a folder source lists: regular, non-hidden files directly inside whose extension begins with
/// "xls" in any case (.xls, .xlsx, .xlsm), sorted by name. Empty when the folder cannot be read.
std::vector<std::string> listWorkbooks(const std::string& folder);

} // namespace velquin::cli
