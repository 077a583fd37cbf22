// File-type lists of the open and save dialogs: from the "|"-separated property text to (description, pattern) pairs.
#pragma once

#include "dialogs/DialogBackend.h"

#include <string>
#include <string_view>
#include <vector>

namespace velquin::dialogs {

/// The open dialog's form of a filter: every "|" becomes NUL and one NUL is appended. A filter already written
/// with NULs passes through with one NUL more.
std::string openDialogFilter(std::string_view filter);

/// The save dialog's form of a filter: a blank filter (spaces only) stands for "*.*|*.*"; the text is split at
/// every "|" and each piece is followed by one NUL.
std::string saveDialogFilter(std::string_view filter);

/// Reads a NUL-separated list as a file dialog does: description and pattern alternate, and the list ends at the
/// first empty text or at the end of the string. A description left without a pattern is dropped.
std::vector<FilterEntry> parseFilterList(std::string_view nulSeparated);

/// Qt's name-filter text for one entry, e.g. "Excel File(*.xls;*.xlsx) (*.[xX][lL][sS] *.[xX][lL][sS][xX])".
/// Letters become [xX] classes because the system's dialogs match names without regard to case.
std::string qtNameFilter(const FilterEntry& entry);

} // namespace velquin::dialogs
