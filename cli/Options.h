// The command line of velquin-convert.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace velquin::cli {

/// A file that lists sources: one path per line, or NUL-separated. "-" is standard input.
struct SourceList
{
    std::string path;
    char separator = '\n';
};

struct Options
{
    bool help = false;
    bool noSync = false;                  ///< --no-sync: leave outputs to the system's cache
    bool skipExisting = false;            ///< --skip-existing: keep outputs newer than their sources
    bool replace = false;                 ///< --replace: a later source may replace another's output of this run
    std::string outputFolder;             ///< -d OUTDIR; empty for the IN OUT.xml form
    std::vector<std::string> sources;     ///< IN, or the workbook files and folders of -d
    std::vector<SourceList> lists;        ///< --from and --from0, read after the sources of the command line
    std::string report;                   ///< --report FILE ("-" is standard output); empty for none
    std::string claims;                   ///< --claims DIR shared by the processes of one run; empty for none
    std::string output;                   ///< OUT.xml of the IN OUT.xml form
    unsigned jobs = 0;                    ///< -j N; 0 = one per processor
    std::chrono::milliseconds timeout{0}; ///< --timeout SECONDS per workbook, 0 = none
};

/// Parses the arguments after the program name. On failure returns false and says why in `error`.
bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error);

/// Appends the paths `list` names to `sources`, in their order; empty entries are left out and every other byte is
/// kept as it is. False with the reason in `error` when the list cannot be read.
bool readSourceList(const SourceList& list, std::vector<std::string>& sources, std::string& error);

/// The text --help prints.
const char* usageText();

} // namespace velquin::cli
