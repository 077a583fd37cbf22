// The --report file: one JSON object per source, each line written in one piece as its source finishes.
#pragma once

#include "cli/Batch.h"

#include <string>
#include <string_view>

namespace velquin::cli {

/// `bytes` as a JSON string with its quotes. Valid UTF-8 passes through; quotes, backslashes and control characters
/// are escaped; each byte that is not part of valid UTF-8 becomes \udcXX, so that a file name which is no UTF-8
/// still gives valid JSON and can be turned back into its bytes.
std::string jsonString(std::string_view bytes);

/// The report line of one job, ending in "\n".
std::string reportLine(const Job& job, const JobResult& result);

class Report
{
public:
    Report() = default;
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    /// Creates or empties `path` ("-" is standard output). False with the reason in `error`.
    bool open(const std::string& path, std::string& error);
    /// Writes the line of one job with a single write, so a process that is killed leaves only whole lines. A
    /// failure (disk full) is remembered; later lines are still tried.
    void write(const Job& job, const JobResult& result);
    bool isOpen() const { return m_fd >= 0; }
    /// False when any line could not be written.
    bool complete() const { return m_complete; }

private:
    int m_fd = -1;
    bool m_ownsFd = false;
    bool m_complete = true;
};

} // namespace velquin::cli
