// Parsing of velquin-convert's arguments and of the source lists --from names.
#include "cli/Options.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

/// One option: its names, whether it takes a value, what it does, and what to say when its value is wrong.
struct OptionRule
{
    const char* shortName; ///< nullptr when there is none
    const char* longName;
    bool takesValue;
    bool (*apply)(Options& options, const std::string& value);
    const char* complaint;
};

const OptionRule kRules[] = {
    {"-h", "--help", false, [](Options& o, const std::string&) { return o.help = true; }, ""},
    {nullptr, "--no-sync", false, [](Options& o, const std::string&) { return o.noSync = true; }, ""},
    {nullptr, "--skip-existing", false, [](Options& o, const std::string&) { return o.skipExisting = true; }, ""},
    {nullptr, "--replace", false, [](Options& o, const std::string&) { return o.replace = true; }, ""},
    {"-d", nullptr, true,
     [](Options& o, const std::string& v) {
         o.outputFolder = v;
         return !v.empty();
     },
     "-d needs an output folder."},
    {"-j", nullptr, true, [](Options& o, const std::string& v) { return parseJobs(v, o.jobs); },
     "-j needs a number of parallel conversions from 1 to 256."},
    {nullptr, "--timeout", true, [](Options& o, const std::string& v) { return parseSeconds(v, o.timeout); },
     "--timeout needs a positive number of seconds."},
    {nullptr, "--from", true,
     [](Options& o, const std::string& v) {
         o.lists.push_back({v, '\n'});
         return !v.empty();
     },
     "--from needs a file that lists the sources (- for standard input)."},
    {nullptr, "--from0", true,
     [](Options& o, const std::string& v) {
         o.lists.push_back({v, '\0'});
         return !v.empty();
     },
     "--from0 needs a file that lists the sources (- for standard input)."},
    {nullptr, "--report", true,
     [](Options& o, const std::string& v) {
         o.report = v;
         return !v.empty();
     },
     "--report needs a file (- for standard output)."},
    {nullptr, "--claims", true,
     [](Options& o, const std::string& v) {
         o.claims = v;
         return !v.empty();
     },
     "--claims needs a folder."},
};

const OptionRule* findRule(const std::string& argument)
{
    for (const OptionRule& rule : kRules)
    {
        if ((rule.shortName && argument == rule.shortName) || (rule.longName && argument == rule.longName))
            return &rule;
    }
    return nullptr;
}

bool checkCombination(const Options& options, std::string& error)
{
    std::size_t fromStandardInput = 0;
    for (const SourceList& list : options.lists)
        fromStandardInput += list.path == "-" ? 1 : 0;
    if (fromStandardInput > 1)
        return error = "Standard input can hold only one list of sources.", false;
    if ((!options.lists.empty() || !options.claims.empty()) && options.outputFolder.empty())
        return error = "--from, --from0 and --claims need -d OUTDIR.", false;
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
        if (onlyPositional || argument.empty() || argument[0] != '-' || argument == "-")
        {
            positional.push_back(argument);
            continue;
        }
        if (argument == "--")
        {
            onlyPositional = true;
            continue;
        }
        const OptionRule* rule = findRule(argument);
        if (!rule)
            return error = "Unknown option " + argument + ".", false;
        if (rule->takesValue && i + 1 == arguments.size())
            return error = rule->complaint, false;
        if (!rule->apply(options, rule->takesValue ? arguments[++i] : std::string()))
            return error = rule->complaint, false;
    }
    if (options.help)
        return true;
    if (!checkCombination(options, error))
        return false;
    if (!options.outputFolder.empty())
    {
        if (positional.empty() && options.lists.empty())
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

bool readSourceList(const SourceList& list, std::vector<std::string>& sources, std::string& error)
{
    const bool standardInput = list.path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(list.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return error = list.path + ": " + std::strerror(errno), false;
    std::string entry;
    char buffer[65536];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) != 0)
    {
        if (got < 0)
        {
            if (errno == EINTR)
                continue;
            error = list.path + ": " + std::strerror(errno);
            break;
        }
        for (const char c : std::string_view(buffer, static_cast<std::size_t>(got)))
        {
            if (c != list.separator)
                entry += c;
            else if (!entry.empty())
                sources.push_back(std::move(entry)), entry.clear();
        }
    }
    if (!entry.empty())
        sources.push_back(std::move(entry));
    if (!standardInput)
        ::close(fd);
    return got == 0;
}

const char* usageText()
{
    return "Usage: velquin-convert [options] IN OUT.xml\n"
           "       velquin-convert [options] -d OUTDIR [SOURCE...] [--from LIST] [--from0 LIST]\n"
           "\n"
           "Converts Excel workbooks (.xls, .xlsx, .xlsm) into XML Spreadsheet 2003 files.\n"
           "\n"
           "The first form converts the workbook IN into the file OUT.xml. The second converts each SOURCE into\n"
           "OUTDIR, which is created when missing. A SOURCE is a workbook file, or a folder whose workbooks are\n"
           "converted: the visible files directly inside it whose extension begins with .xls (.xls, .xlsx, .xlsm,\n"
           "any case); subfolders are not searched. Each output is named after its workbook: the name is cut\n"
           "before its last \".\", spaces and dots are removed, and while a folder of that name exists in OUTDIR\n"
           "the next counter digits are appended (Book1 -> Book11 -> Book112); then \".xml\" is added. An\n"
           "existing output file is replaced, only ever by a complete one. When a second source of the same run\n"
           "maps to an output the run already wrote (\"A B.xls\" and \"AB.xls\" both give AB.xml), it fails with\n"
           "error 2001, which names both sources, unless --replace is given.\n"
           "\n"
           "Options:\n"
           "  -d OUTDIR          convert the sources into the folder OUTDIR\n"
           "  --from LIST        also convert the sources LIST names, one path per line (- is standard input);\n"
           "                     every byte of a line but the line end is part of the path, empty lines are left out\n"
           "  --from0 LIST       the same with paths separated by NUL bytes, as find -print0 writes them\n"
           "  --report FILE      write one JSON line per source as it finishes (- is standard output)\n"
           "  --skip-existing    leave a source alone when its output exists and is newer (reported as skipped)\n"
           "  --replace          let a later source replace an output this run wrote from another source\n"
           "  --claims DIR       share output names with the other processes of one run through the folder DIR\n"
           "                     (created when missing; a fresh one for each run): the first source to claim\n"
           "                     a name converts, any other one fails with 2001 as within one process\n"
           "  -j N               run up to N conversions in parallel (default: one per processor)\n"
           "  --timeout SECONDS  stop a workbook that takes longer, report it as failed and go on\n"
           "  --no-sync          do not flush each output to the disk before it replaces the old file\n"
           "                     (faster for many small files; a power cut may then lose recent outputs)\n"
           "  -h, --help         show this text\n"
           "\n"
           "A report line is a JSON object written in one piece when its source is done, so a run that is killed\n"
           "leaves only complete lines:\n"
           "  {\"source\":\"in/Q1 Sales.xls\",\"output\":\"out/Q1Sales.xml\",\"status\":\"converted\",\"error\":0,\n"
           "   \"description\":\"\",\"seconds\":0.012,\"bytes_in\":13824,\"bytes_out\":20411}\n"
           "status is converted, failed or skipped; error and description are those of a failure. Paths are\n"
           "byte strings: a byte that is not part of valid UTF-8 is written as \\udcXX (XX its value).\n"
           "\n"
           "A progress line is shown on standard error when it is a terminal. Each failure is reported on\n"
           "standard error as \"SOURCE: number: description\". Numbers from 1001 are the converter's errors\n"
           "(1001 not found, 1003 not a workbook, 1006 damaged, ...); 2001 is an output name already taken,\n"
           "2002 a folder that cannot be searched, 2003 an output that would replace its own source.\n"
           "\n"
           "Archives: velquin-convert(1) and the README show how GNU Parallel spreads --from0 lists over the\n"
           "cores of one machine or over many machines by ssh, and how a Slurm job array shares them out.\n"
           "\n"
           "Exit status: 0 when every source was converted or skipped, 1 when any failed (or the report could\n"
           "not be written), 2 on bad usage.\n";
}

} // namespace velquin::cli
