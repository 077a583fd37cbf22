// Runs velquin-convert as a child process under a wall-clock limit and reports how it ended and what it used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velquin::test {

struct ConverterRun
{
    bool exited = false;     ///< ended through exit (not a signal)
    int exitCode = -1;       ///< when exited
    int signal = 0;          ///< the signal that ended it, 0 when it exited
    bool overTime = false;   ///< killed because it ran past the wall-clock limit
    double seconds = 0;      ///< wall-clock time
    long peakRssKb = 0;      ///< the child's peak resident memory
    std::string errorOutput; ///< everything it wrote to stderr
};

/// Runs the converter with `arguments`, killing it after `limitSeconds`. With `fileSizeLimit` > 0 the child runs
/// with RLIMIT_FSIZE at that many bytes, so writing past it fails with EFBIG as on a full disk.
ConverterRun runConverter(const std::vector<std::string>& arguments, double limitSeconds,
                          std::uint64_t fileSizeLimit = 0);

/// The sources the converter reported as failed: the text before ": NUMBER: " of each stderr line.
std::vector<std::string> failedSources(const std::string& errorOutput);

/// True when the file at `path` parses as well-formed XML.
bool isWellFormedXml(const std::string& path);

} // namespace velquin::test
