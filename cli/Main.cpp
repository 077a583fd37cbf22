// velquin-convert: converts workbooks into XML Spreadsheet 2003 files without the window.
#include "cli/Batch.h"
#include "cli/Options.h"
#include "cli/Report.h"
#include "convert/automation/EngineAutomation.h"
#include "engine/Error.h"
#include "platform/PosixPlatform.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace velquin;

constexpr int kAllConverted = 0;
constexpr int kSomeFailed = 1;
constexpr int kBadUsage = 2;

/// One status line on a terminal, rewritten in place; nothing when standard error is a file or a pipe.
class ProgressLine
{
public:
    ProgressLine() : m_enabled(::isatty(STDERR_FILENO) == 1) {}

    void update(const std::string& name, std::size_t done, std::size_t total)
    {
        if (m_enabled)
            std::fprintf(stderr, "\r\033[K[%zu/%zu] %s", done, total, name.c_str());
    }
    /// Clears the line before other output and at the end.
    void clear()
    {
        if (m_enabled)
            std::fputs("\r\033[K", stderr);
    }

private:
    bool m_enabled;
};

void reportFailure(const std::string& source, const cli::JobResult& result)
{
    std::fprintf(stderr, "%s: %d: %s\n", source.c_str(), result.number, result.description.c_str());
}

bool createOutputFolder(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (std::filesystem::is_directory(folder, error))
        return true;
    std::fprintf(stderr, "%s: %d: The folder cannot be created.\n", folder.c_str(),
                 static_cast<int>(velquin::engine::EngineErrc::OutputNotWritable));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // A file size limit must end the conversion with an error, not kill the process mid-batch.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::vector<std::string> arguments(argv + 1, argv + argc);
    cli::Options options;
    std::string error;
    if (!cli::parseOptions(arguments, options, error))
    {
        std::fprintf(stderr, "velquin-convert: %s\nTry 'velquin-convert --help'.\n", error.c_str());
        return kBadUsage;
    }
    if (options.help)
    {
        std::fputs(cli::usageText(), stdout);
        return kAllConverted;
    }

    for (const cli::SourceList& list : options.lists)
    {
        if (!cli::readSourceList(list, options.sources, error))
        {
            std::fprintf(stderr, "velquin-convert: %s\n", error.c_str());
            return kSomeFailed;
        }
    }
    cli::Report report;
    if (!options.report.empty() && !report.open(options.report, error))
    {
        std::fprintf(stderr, "velquin-convert: the report cannot be written: %s\n", error.c_str());
        return kSomeFailed;
    }

    std::vector<cli::Job> jobs;
    if (options.outputFolder.empty())
        jobs.push_back({options.sources.front(), options.output, std::nullopt});
    else
    {
        if (!createOutputFolder(options.outputFolder))
            return kSomeFailed;
        if (!options.claims.empty() && !createOutputFolder(options.claims))
            return kSomeFailed;
        platform::PosixPlatform platform;
        jobs = cli::planFolderJobs(platform, options.outputFolder, options.sources);
    }

    convert::EngineAutomationOptions automation;
    automation.timeout = options.timeout;
    automation.durability = options.noSync ? engine::Durability::Buffered : engine::Durability::Synced;
    convert::EngineApplicationFactory factory(automation);
    ProgressLine progress;
    cli::RunOptions run;
    run.threads = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    run.skipExisting = options.skipExisting;
    run.replace = options.replace;
    run.claimsFolder = options.claims;
    const std::size_t failures =
        cli::runJobs(factory, jobs, run,
                     [&](const cli::Job& job, const cli::JobResult& result, std::size_t done, std::size_t total) {
                         if (report.isOpen())
                             report.write(job, result);
                         if (result.status == cli::JobStatus::Failed)
                         {
                             progress.clear();
                             reportFailure(job.source, result);
                         }
                         progress.update(job.source, done, total);
                     });
    progress.clear();
    if (!report.complete())
        std::fprintf(stderr, "velquin-convert: %s: the report is incomplete: a line could not be written.\n",
                     options.report.c_str());
    return failures == 0 && report.complete() ? kAllConverted : kSomeFailed;
}
