// The output name rule and the workbook listing of a folder.
#include "cli/OutputNames.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace velquin::cli {

namespace {

bool isHidden(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name[0] == '.';
}

/// A folder the file browser would show: hidden entries count as missing, as they do for the GUI.
bool isVisibleFolder(const std::string& candidate)
{
    std::filesystem::path path(candidate);
    if (!path.has_filename())
        path = path.parent_path();
    std::error_code error;
    return !isHidden(path) && std::filesystem::is_directory(path, error);
}

bool hasWorkbookExtension(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot - 1 < 3)
        return false;
    const char* expected = "xls";
    for (std::size_t i = 0; i < 3; ++i)
    {
        if (std::tolower(static_cast<unsigned char>(name[dot + 1 + i])) != expected[i])
            return false;
    }
    return true;
}

} // namespace

std::string removeSpacesAndDots(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (const char c : text)
    {
        if (c != ' ' && c != '.')
            result += c;
    }
    return result;
}

std::string outputBasePath(const std::string& outputFolder, const std::string& fileName)
{
    const std::size_t dot = fileName.rfind('.');
    const std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
    std::string candidate = outputFolder + removeSpacesAndDots(stem);
    for (std::int32_t counter = 1; isVisibleFolder(candidate) && counter < 1000000; ++counter)
        candidate += std::to_string(counter);
    return candidate;
}

std::vector<std::string> listWorkbooks(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    if (error)
        return names;
    for (; it != std::filesystem::directory_iterator(); it.increment(error))
    {
        if (error)
            break;
        const std::filesystem::directory_entry& entry = *it;
        std::error_code typeError;
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.' || !entry.is_regular_file(typeError) || !hasWorkbookExtension(name))
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace velquin::cli
