// Path helpers.
#include "common/Paths.h"

#include <filesystem>
#include <system_error>

namespace velquin::common {

std::string applicationPath()
{
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        exe = std::filesystem::current_path(ec) / "velquin";
    std::string folder = exe.parent_path().string();
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    std::string p(folder);
    while (!p.empty() && p.back() == '/')
        p.pop_back();
    p += '/';
    p += name;
    return p;
}

std::string fileNameOf(std::string_view path)
{
    auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace velquin::common
