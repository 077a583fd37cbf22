// Document properties from the "\005SummaryInformation" and "\005DocumentSummaryInformation" property sets.
#pragma once

#include "engine/model/Workbook.h"

#include <cstdint>
#include <span>

namespace velquin::engine::xls {

/// Fills title, subject, author, keywords, description, last author and the dates. Damaged sets are ignored:
/// properties are never worth failing a conversion for.
void readSummaryInformation(std::span<const std::uint8_t> stream, model::DocumentProperties& props);
/// Fills category, manager, company and the user-defined properties.
void readDocumentSummaryInformation(std::span<const std::uint8_t> stream, model::DocumentProperties& props);

/// "YYYY-MM-DDTHH:MM:SSZ" for a FILETIME (100 ns since 1601), empty for 0 or out-of-range values.
std::string fileTimeToIso(std::uint64_t fileTime);

} // namespace velquin::engine::xls
