// What a path names: nothing, a folder or a file.
#include "common/PathType.h"

namespace velquin::common {

PathType GetPathType(platform::Platform& platform, const std::string& path)
{
    using platform::FsError;
    // One search admitting folders and one for normal files only; a name from either means the path is there and
    // visible. The attribute bits then tell which kind it is.
    auto withFolders = platform.findFirst(path, platform::attr::Directory);
    if (withFolders.error != FsError::None)
        return PathType::Missing;
    auto filesOnly = platform.findFirst(path, platform::attr::Normal);
    if (filesOnly.error != FsError::None)
        return PathType::Missing;
    if (withFolders.name.empty() && filesOnly.name.empty())
        return PathType::Missing;
    auto attributes = platform.attributes(path);
    if (attributes.error != FsError::None)
        return PathType::Missing;
    return (attributes.bits & platform::attr::Directory) ? PathType::Folder : PathType::File;
}

} // namespace velquin::common
