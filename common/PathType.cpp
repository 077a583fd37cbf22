// What a path names: nothing, a folder or a file.
#include "common/PathType.h"

namespace velquin::common {

PathType GetPathType(platform::Platform& platform, const std::string& path)
{
    using platform::FsError;
    // The attribute query comes first: a path it cannot read is Missing whatever the searches say, and a batch
    // asks this for every workbook, so the common "not there" answer must not cost two reads of the folder.
    auto attributes = platform.attributes(path);
    if (attributes.error != FsError::None)
        return PathType::Missing;
    // One search admitting folders, then one for normal files only; a name from either means the path is there
    // and visible (hidden and system entries pass neither).
    auto withFolders = platform.findFirst(path, platform::attr::Directory);
    if (withFolders.error != FsError::None)
        return PathType::Missing;
    if (withFolders.name.empty())
    {
        auto filesOnly = platform.findFirst(path, platform::attr::Normal);
        if (filesOnly.error != FsError::None || filesOnly.name.empty())
            return PathType::Missing;
    }
    return (attributes.bits & platform::attr::Directory) ? PathType::Folder : PathType::File;
}

} // namespace velquin::common
