// The three state files.
#include "state/StateFiles.h"

#include "common/MessageBox.h"
#include "common/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace velquin::state {

namespace {

// Writes all bytes or reports false (a full disk shows up here or at fsync).
bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty())
    {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool writeFileAtomically(const std::string& folder, const std::string& target, std::string_view bytes)
{
    // Built step by step: GCC 12 misreports "." + std::string as an overlapping copy.
    std::string tempName(".");
    tempName += common::fileNameOf(target);
    tempName += '.';
    tempName += std::to_string(::getpid());
    tempName += ".tmp";
    std::string temp = common::joinPath(folder, tempName);
    ::unlink(temp.c_str());
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), target.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

bool isWritableFolder(const std::string& folder)
{
    struct stat st;
    return !folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

} // namespace

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\r')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::string joinLines(const std::vector<std::string>& values, std::size_t limit)
{
    std::string text;
    std::size_t count = std::min(values.size(), limit);
    for (std::size_t i = 0; i < count; ++i)
    {
        text += values[i];
        text += "\r\n";
    }
    return text;
}

std::string chooseStateFolder(const std::string& applicationPath, const char* xdgConfigHome, const char* home)
{
    if (isWritableFolder(applicationPath))
        return applicationPath;
    std::string base;
    if (xdgConfigHome && *xdgConfigHome == '/')
        base = xdgConfigHome;
    else if (home && *home)
        base = common::joinPath(home, ".config");
    else
        return applicationPath;
    std::string folder = common::joinPath(base, "velquin");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return folder;
}

StateFiles::StateFiles(std::string folder, common::MessageBox* messageBox)
    : m_folder(std::move(folder)), m_messageBox(messageBox)
{}

std::string StateFiles::pathOf(std::string_view name) const
{
    return common::joinPath(m_folder, name);
}

std::vector<std::string> StateFiles::readLines(std::string_view name) const
{
    std::ifstream in(pathOf(name), std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return splitLines(text.str());
}

bool StateFiles::writeLines(std::string_view name, const std::vector<std::string>& values, std::size_t limit) const
{
    auto target = pathOf(name);
    if (writeFileAtomically(m_folder, target, joinLines(values, limit)))
        return true;
    if (m_messageBox)
        m_messageBox->show("Failed to save " + target + "!", common::MessageIcon::Critical);
    return false;
}

SavedLists StateFiles::LoadLists() const
{
    SavedLists lists;
    lists.inputs = readLines(kInputListFile);
    lists.outputs = readLines(kOutputListFile);
    return lists;
}

SettingFlags StateFiles::ReadSettingFlags() const
{
    auto lines = readLines(kSettingsFile);
    SettingFlags flags;
    flags.saveInputList = lines.size() >= 1 && lines[0] == "1";
    flags.saveOutputList = lines.size() >= 2 && lines[1] == "1";
    return flags;
}

bool StateFiles::WriteSettingFlags(bool check1, bool check2) const
{
    return writeLines(kSettingsFile, {check1 ? "1" : "0", check2 ? "1" : "0"});
}

void StateFiles::SaveLists(const SavedLists& lists) const
{
    auto flags = ReadSettingFlags();
    if (flags.saveInputList)
        writeLines(kInputListFile, lists.inputs);
    if (flags.saveOutputList)
        writeLines(kOutputListFile, lists.outputs, kMaxSavedOutputs);
}

} // namespace velquin::state
