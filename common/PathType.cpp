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
    // The path was named (chosen, typed, dropped, remembered), not found by listing a folder, so a hidden entry is
    // there as much as any other: only a listing of a folder's contents hides dot-names. System entries (devices,
    // pipes) pass neither search and stay Missing, so that no reader is ever handed one.
    constexpr int named = platform::attr::Hidden;
    auto withFolders = platform.findFirst(path, platform::attr::Directory | named);
    if (withFolders.error != FsError::None)
        return PathType::Missing;
    if (withFolders.name.empty())
    {
        auto filesOnly = platform.findFirst(path, platform::attr::Normal | named);
        if (filesOnly.error != FsError::None || filesOnly.name.empty())
            return PathType::Missing;
    }
    return (attributes.bits & platform::attr::Directory) ? PathType::Folder : PathType::File;
}

} // namespace velquin::common
