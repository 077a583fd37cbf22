// Reads the external workbooks that "[1]", "[2]"... stand for in formula text: externalLink parts and their paths.
#pragma once

#include "engine/Error.h"
#include "engine/formula/R1C1Translator.h"

#include <string>
#include <string_view>

namespace velquin::engine::xlsx {

/// The relationship id of an externalLink part's externalBook (the link to another workbook's file), empty for
/// DDE and OLE links. Errors: DamagedFile (not well-formed).
Status readExternalBookId(std::string_view xml, std::string_view partName, std::string& relationshipId);

/// The folder and file name of an external book from its relationship's target as Excel writes it:
/// "file:///C:\Docs\Book2.xlsx" gives "C:\Docs\" and "Book2.xlsx", "Book2.xlsx" only a file name, a UNC
/// "file://server/share/b.xlsx" "\\server\share\"; web addresses keep their slashes. Escapes (%20) are decoded.
formula::ExternalBook externalBookFromTarget(std::string_view target);

} // namespace velquin::engine::xlsx
