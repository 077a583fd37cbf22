// ListWorkbooks: rebuilds the workbook list for one source, a workbook file or a folder.
#pragma once

#include "common/WorkbookListing.h"

#include <string>

class QTreeWidget;

namespace velquin::platform {
class Platform;
}

namespace velquin::lists {

using common::kWorkbookPattern;

/// Empties ListView2 and lists the workbooks of `path`, each checked: a file as its own name; a folder as the
/// names that "*.xls" matches directly inside it (so .xlsx and .xlsm too), in the order the file system reports
/// them. A folder's hidden files and its subfolders are never listed. A search that fails ends the listing quietly and
/// keeps what was listed so far; an empty path lists nothing.
void ListWorkbooks(platform::Platform& platform, QTreeWidget& ListView2, const std::string& path);

} // namespace velquin::lists
