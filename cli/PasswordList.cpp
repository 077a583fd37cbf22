// Reading --password-file and handing its passwords out.
#include "cli/PasswordList.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <istream>

namespace velquin::cli {

namespace {

/// A password file is a short list; a larger file is a mistake (a workbook given by accident).
constexpr std::size_t kMaxPasswordFile = 1u << 20;

bool readLines(std::istream& in, std::vector<std::string>& passwords, std::string& error)
{
    std::string line;
    std::size_t total = 0;
    while (std::getline(in, line))
    {
        total += line.size() + 1;
        if (total > kMaxPasswordFile)
            return error = "The password file is larger than 1 MB.", false;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            passwords.push_back(std::move(line));
    }
    if (in.bad())
        return error = "The password file cannot be read.", false;
    return true;
}

} // namespace

bool readPasswordFile(const std::string& path, std::vector<std::string>& passwords, std::string& error)
{
    passwords.clear();
    if (path == "-")
        return readLines(std::cin, passwords, error);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return error = path + ": " + std::strerror(errno), false;
    return readLines(in, passwords, error);
}

std::optional<std::string> PasswordList::ask(const std::string& /*path*/, bool lastFailed)
{
    const std::lock_guard lock(m_mutex);
    std::size_t& next = m_next[std::this_thread::get_id()];
    if (!lastFailed)
        next = 0;
    if (next >= m_passwords.size())
        return std::nullopt;
    return m_passwords[next++];
}

} // namespace velquin::cli
