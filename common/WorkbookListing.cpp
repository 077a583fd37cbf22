// The workbooks of one source, found through the platform's directory search.
#include "common/WorkbookListing.h"

#include "common/PathType.h"

namespace velquin::common {

namespace {

constexpr int kNormalFilesOnly = platform::attr::Normal;

void listFile(platform::Platform& platform, const std::string& path, std::vector<std::string>& names)
{
    // A file source was named by the user, so a dot-name is listed like any other; only a folder hides its own.
    const platform::SearchResult found = platform.findFirst(path, kNormalFilesOnly | platform::attr::Hidden);
    if (found.error == platform::FsError::None && !found.name.empty())
        names.push_back(found.name);
}

void listFolder(platform::Platform& platform, const std::string& path, std::vector<std::string>& names)
{
    const std::string folder = path.back() == '/' ? path : path + '/';
    const platform::SearchResult anyFile = platform.findFirst(folder, kNormalFilesOnly);
    if (anyFile.error != platform::FsError::None || anyFile.name.empty())
        return;
    platform::SearchResult found = platform.findFirst(folder + kWorkbookPattern, kNormalFilesOnly);
    while (found.error == platform::FsError::None && !found.name.empty())
    {
        names.push_back(found.name);
        found = platform.findNext();
    }
}

} // namespace

std::vector<std::string> listWorkbookNames(platform::Platform& platform, const std::string& path)
{
    std::vector<std::string> names;
    if (path.empty())
        return names;
    if (GetPathType(platform, path) == PathType::File)
        listFile(platform, path, names);
    else
        listFolder(platform, path, names);
    return names;
}

} // namespace velquin::common
