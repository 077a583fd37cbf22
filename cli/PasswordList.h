// The passwords of --password-file: each one tried in order for every encrypted workbook.
#pragma once

#include "convert/automation/Automation.h"

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquin::cli {

/// Reads one password per line (a CR before the line end is dropped, empty lines are skipped) from `path`, or from
/// standard input when `path` is "-". False with a reason in `error` when the file cannot be read.
bool readPasswordFile(const std::string& path, std::vector<std::string>& passwords, std::string& error);

/// Gives the passwords in order, from the first again for each workbook. Conversions on several threads share
/// one list: each thread opens one workbook at a time, so each keeps its own place in the list.
class PasswordList : public convert::PasswordSource
{
public:
    explicit PasswordList(std::vector<std::string> passwords) : m_passwords(std::move(passwords)) {}
    std::optional<std::string> ask(const std::string& path, bool lastFailed) override;

private:
    std::vector<std::string> m_passwords;
    std::mutex m_mutex;
    std::map<std::thread::id, std::size_t> m_next;
};

} // namespace velquin::cli
