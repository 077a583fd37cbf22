// What a path names: nothing, a folder or a file, judged the way every list and the conversion judge it.
#pragma once

#include "platform/Platform.h"

#include <string>

namespace velquin::common {

enum class PathType
{
    Missing = 0,
    Folder = 1,
    File = 2,
};

/// Folder or File for an existing entry, hidden ones (dot-names) included, since the path was named rather than found
/// by listing a folder; Missing for anything else: a path that does not exist, a system entry (a device, a pipe),
/// wildcards, a path that cannot be examined. Never fails. A folder path with a trailing "/" is that folder.
PathType GetPathType(platform::Platform& platform, const std::string& path);

} // namespace velquin::common
