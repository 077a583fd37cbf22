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

/// Folder or File for an existing, visible entry; Missing for anything else: a path that does not exist, a hidden
/// entry, wildcards, a path that cannot be examined. Never fails. A folder path with a trailing "/" is that folder.
PathType GetPathType(platform::Platform& platform, const std::string& path);

} // namespace velquin::common
