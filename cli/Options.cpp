// Parsing of velquin-convert's arguments.
#include "cli/Options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace velquin::cli {

namespace {

constexpr unsigned kMaxJobs = 256;

bool parseJobs(const std::string& text, unsigned& jobs)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > kMaxJobs)
        return false;
    jobs = value;
    return true;
}

bool parseSeconds(const std::string& text, std::chrono::milliseconds& timeout)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    // A week is far beyond any conversion; larger values would overflow the clock arithmetic.
    if (end != text.c_str() + text.size() || !std::isfinite(seconds) || seconds <= 0 || seconds > 604800)
        return false;
    timeout = std::chrono::milliseconds(static_cast<std::int64_t>(std::ceil(seconds * 1000)));
    return true;
}

} // namespace

bool parseOptions(const std::vector<std::string>& arguments, Options& options, std::string& error)
{
    options = Options{};
    std::vector<std::string> positional;
    bool onlyPositional = false;
    for (std::size_t i = 0; i < arguments.size(); ++i)
    {
        const std::string& argument = arguments[i];
        const bool last = i + 1 == arguments.size();
        if (onlyPositional || argument.empty() || argument[0] != '-' || argument == "-")
        {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--")
            onlyPositional = true;
        else if (argument == "-h" || argument == "--help")
            options.help = true;
        else if (argument == "--no-sync")
            options.noSync = true;
        else if (argument == "-d")
        {
            if (last || arguments[i + 1].empty())
                return error = "-d needs an output folder.", false;
            options.outputFolder = arguments[++i];
        }
        else if (argument == "-j")
        {
            if (last || !parseJobs(arguments[++i], options.jobs))
                return error = "-j needs a number of parallel conversions from 1 to 256.", false;
        }
        else if (argument == "--password-file")
        {
            if (last || arguments[i + 1].empty())
                return error = "--password-file needs a file of passwords, or - for standard input.", false;
            options.passwordFile = arguments[++i];
        }
        else if (argument == "--timeout")
        {
            if (last || !parseSeconds(arguments[++i], options.timeout))
                return error = "--timeout needs a positive number of seconds.", false;
        }
        else
            return error = "Unknown option " + argument + ".", false;
    }
    if (options.help)
        return true;
    if (!options.outputFolder.empty())
    {
        if (positional.empty())
            return error = "-d needs at least one workbook or folder to convert.", false;
        options.sources = std::move(positional);
        return true;
    }
    if (positional.size() != 2)
        return error = "Give an input workbook and an output file, or -d OUTDIR and the sources.", false;
    options.sources = {positional[0]};
    options.output = positional[1];
    return true;
}

const char* usageText()
{
    return "Usage: velquin-convert [options] IN OUT.xml\n"
           "       velquin-convert [options] -d OUTDIR SOURCE...\n"
           "\n"
           "Converts Excel workbooks (.xls, .xlsx, .xlsm) into XML Spreadsheet 2003 files.\n"
           "\n"
           "The first form converts the workbook IN into the file OUT.xml. The second converts each SOURCE into\n"
           "OUTDIR, which is created when missing. A SOURCE is a workbook file, or a folder whose workbooks are\n"
           "converted: the visible files directly inside it whose extension begins with .xls (.xls, .xlsx, .xlsm,\n"
           "any case); subfolders are not searched. Each output is named after its workbook: the name is cut\n"
           "before its last \".\", spaces and dots are removed, and while a folder of that name exists in OUTDIR\n"
           "the next counter digits are appended (Book1 -> Book11 -> Book112); then \".xml\" is added. An\n"
           "existing output file is replaced, only ever by a complete one.\n"
           "\n"
           "Options:\n"
           "  -d OUTDIR          convert the sources into the folder OUTDIR\n"
           "  -j N               run up to N conversions in parallel (default: one per processor)\n"
           "  --timeout SECONDS  stop a workbook that takes longer, report it as failed and go on\n"
           "  --password-file FILE\n"
           "                     passwords for encrypted workbooks, one per line (- reads standard input);\n"
           "                     each is tried in order after the built-in default password\n"
           "  --no-sync          do not flush each output to the disk before it replaces the old file\n"
           "                     (faster for many small files; a power cut may then lose recent outputs)\n"
           "  -h, --help         show this text\n"
           "\n"
           "A password is never taken on the command line, where other users could read it. An encrypted\n"
           "workbook that no password opens fails with error 1005.\n"
           "\n"
           "A progress line is shown on standard error when it is a terminal. Each failure is reported on\n"
           "standard error as \"SOURCE: number: description\".\n"
           "\n"
           "Exit status: 0 when every workbook was converted, 1 when any failed, 2 on bad usage.\n";
}

} // namespace velquin::cli
