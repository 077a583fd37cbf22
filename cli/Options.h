// The command line of velquin-convert.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velquin::cli {

struct Options
{
    bool help = false;
    bool noSync = false;                  ///< --no-sync: leave outputs to the system's cache
    std::string outputFolder;             ///< -d OUTDIR; empty for the IN OUT.xml form
    std::vector<std::string> sources;     ///< IN, or the workbook files and folders of -d
    std::string output;                   ///< OUT.xml of the IN OUT.xml form
    unsigned jobs = 0;                    ///< -j N; 0 = one per processor
    std::chrono::milliseconds timeout{0}; ///< --timeout SECONDS per workbook, 0 = none
    std::string passwordFile;             ///< --password-file FILE ("-": standard input); empty = none
};

/// Parses the arguments after the program name. On failure returns false and says why in `error`.
bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

/// The text --help prints.
const char* usageText();

} // namespace velquin::cli
