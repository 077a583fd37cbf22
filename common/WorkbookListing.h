// The workbooks of one source: a workbook file itself, or the workbooks directly inside a folder.
#pragma once

#include "platform/Platform.h"

#include <string>
#include <vector>

namespace velquin::common {

/// The names a folder's listing shows: every extension that begins with ".xls", in any case (.xls, .xlsx, .xlsm,
/// .xlsb...), by the directory search's rule.
inline constexpr const char* kWorkbookPattern = "*.xls";

/// The bare file names of the workbooks `path` lists: a file as its own name; a folder as the names that "*.xls"
/// matches directly inside it (so .xlsx and .xlsm too, in any case), in the order the platform's search reports
/// them. A folder's hidden files and its subfolders are never listed; a file named as the source is listed even when hidden. A search that fails ends the listing quietly and keeps what
/// was listed so far; an empty path lists nothing (it would otherwise turn into a search of the root folder).
std::vector<std::string> listWorkbookNames(platform::Platform& platform, const std::string& path);

} // namespace velquin::common
