// Planning and running the conversions of one velquin-convert run.
#include "cli/Batch.h"

#include "cli/OutputClaims.h"
#include "common/WorkbookListing.h"
#include "convert/OutputName.h"
#include "engine/Error.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <thread>

namespace velquin::cli {

namespace {

std::string withTrailingSlash(const std::string& folder)
{
    return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

std::string fileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string outputFor(platform::Platform& platform, const std::string& folder, const std::string& fileName)
{
    return convert::outputBasePath(platform, folder, convert::outputBaseName(fileName)) + ".xml";
}

// The directory search takes "*" and "?" in a folder's name for wildcards and would list nothing without saying so.
bool searchable(const std::string& folder)
{
    if (folder.find_first_of("*?") != std::string::npos)
        return false;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

std::optional<struct stat> statOf(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return st;
}

bool newer(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

/// The output's status when it is a regular file whose modification time is later than the source's.
std::optional<struct stat> newerOutput(const std::optional<struct stat>& source, const std::string& output)
{
    const std::optional<struct stat> out = statOf(output);
    if (source && out && S_ISREG(out->st_mode) && newer(out->st_mtim, source->st_mtim))
        return out;
    return std::nullopt;
}

JobResult failed(std::int32_t number, std::string description)
{
    JobResult result;
    result.number = number;
    result.description = std::move(description);
    return result;
}

JobResult outputTaken(const Job& job, const std::string& earlierSource)
{
    const convert::AutomationError error = outputTakenError(job.output, earlierSource, job.source);
    return failed(error.number, error.description);
}

bool sameFile(const std::optional<struct stat>& source, const std::string& output)
{
    const std::optional<struct stat> out = statOf(output);
    return source && out && source->st_dev == out->st_dev && source->st_ino == out->st_ino;
}

/// What the checks before a conversion decide: a planning error, a name already taken, a source that is no regular
/// file, an output that would replace its own source, an output that is up to date. Nothing when the conversion may go
/// ahead.
std::optional<JobResult> checkJob(const Job& job, const RunOptions& options, const std::optional<struct stat>& source,
                                  const std::string* earlierSource)
{
    if (job.planningError)
        return failed(job.planningError->number, job.planningError->description);
    if (earlierSource && !options.replace)
        return outputTaken(job, *earlierSource);
    // A list may name a FIFO or a device: opening one would wait for a writer or read without end.
    if (source && !S_ISREG(source->st_mode))
        return failed(static_cast<std::int32_t>(engine::EngineErrc::FileUnreadable),
                      std::string(engine::describe(engine::EngineErrc::FileUnreadable)) + " It is not a regular file.");
    if (sameFile(source, job.output))
        return failed(static_cast<std::int32_t>(BatchErrc::OutputIsSource),
                      "The output " + job.output + " is the workbook itself and would replace it.");
    if (!options.skipExisting)
        return std::nullopt;
    const std::optional<struct stat> upToDate = newerOutput(source, job.output);
    if (!upToDate)
        return std::nullopt;
    JobResult result;
    result.status = JobStatus::Skipped;
    result.bytesOut = static_cast<std::uint64_t>(upToDate->st_size);
    return result;
}

/// One job: its checks, then the conversion when they let it go ahead.
JobResult runJob(convert::ApplicationFactory& factory, const Job& job, const RunOptions& options,
                 const std::string* earlierSource)
{
    const std::optional<struct stat> source = statOf(job.source);
    std::optional<JobResult> result = checkJob(job, options, source, earlierSource);
    const bool goesAhead = !result || result->status == JobStatus::Skipped;
    if (goesAhead && !options.claimsFolder.empty() && !options.replace)
    {
        if (const auto taken = claimOutput(options.claimsFolder, job.source, job.output))
            result = failed(taken->number, taken->description);
    }
    if (!result)
        return convertWorkbook(factory, job);
    result->bytesIn = source ? static_cast<std::uint64_t>(source->st_size) : 0;
    return *result;
}

} // namespace

convert::AutomationError outputTakenError(const std::string& output, const std::string& holder,
                                          const std::string& source)
{
    return {static_cast<std::int32_t>(BatchErrc::OutputTaken),
            "The output " + output + " was already written by this run from " + holder + "; " + source +
                " maps to the same name and was not converted (--replace lets it replace it)."};
}

std::vector<Job> planFolderJobs(platform::Platform& platform, const std::string& outputFolder,
                                const std::vector<std::string>& sources)
{
    const std::string folder = withTrailingSlash(outputFolder);
    std::vector<Job> jobs;
    for (const std::string& source : sources)
    {
        std::error_code error;
        if (!std::filesystem::is_directory(source, error))
        {
            jobs.push_back({source, outputFor(platform, folder, fileNameOf(source)), std::nullopt});
            continue;
        }
        if (!searchable(source))
        {
            jobs.push_back({source,
                            {},
                            convert::AutomationError{static_cast<std::int32_t>(BatchErrc::FolderUnreadable),
                                                     "The folder cannot be searched for workbooks."}});
            continue;
        }
        std::vector<std::string> names = common::listWorkbookNames(platform, source);
        std::sort(names.begin(), names.end());
        const std::string sourceFolder = withTrailingSlash(source);
        for (const std::string& name : names)
            jobs.push_back({sourceFolder + name, outputFor(platform, folder, name), std::nullopt});
    }
    return jobs;
}

JobResult convertWorkbook(convert::ApplicationFactory& factory, const Job& job)
{
    std::unique_ptr<convert::Application> application;
    std::unique_ptr<convert::Workbook> workbook;
    const std::optional<struct stat> source = statOf(job.source);
    convert::AutomationStatus status = factory.create(application);
    convert::Workbooks* workbooks = nullptr;
    if (!status)
        status = application->Workbooks(workbooks);
    if (!status)
        status = workbooks->Open(job.source, workbook);
    if (!status)
        status = application->setDisplayAlerts(false);
    if (!status)
        status = workbook->SaveAs(job.output, convert::kXmlSpreadsheetFormat);
    if (!status)
        status = workbook->Close();
    if (!status)
        status = application->Quit();
    if (status && status->number > 0)
    {
        if (workbook)
            workbook->Close();
        if (application)
            application->Quit();
    }
    workbook.reset();
    application.reset();

    JobResult result;
    if (status)
        result = failed(status->number, status->description);
    else
        result.status = JobStatus::Converted;
    result.bytesIn = source ? static_cast<std::uint64_t>(source->st_size) : 0;
    if (const std::optional<struct stat> out = statOf(job.output); out && !status)
        result.bytesOut = static_cast<std::uint64_t>(out->st_size);
    return result;
}

std::size_t runJobs(convert::ApplicationFactory& factory, const std::vector<Job>& jobs, const RunOptions& options,
                    const ProgressCallback& progress)
{
    // Chains of jobs that share an output file, in list order; each chain runs on one thread.
    std::vector<std::vector<std::size_t>> chains;
    std::map<std::string, std::size_t> chainOfOutput;
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
        if (jobs[i].planningError)
        {
            chains.push_back({i});
            continue;
        }
        const auto [it, inserted] = chainOfOutput.try_emplace(jobs[i].output, chains.size());
        if (inserted)
            chains.emplace_back();
        chains[it->second].push_back(i);
    }

    std::atomic<std::size_t> nextChain{0};
    std::mutex reporting;
    std::size_t done = 0, failures = 0;
    const auto work = [&] {
        for (std::size_t c = nextChain++; c < chains.size(); c = nextChain++)
        {
            const std::string* owner = nullptr; // the source whose output the chain's file holds
            for (const std::size_t i : chains[c])
            {
                const auto start = std::chrono::steady_clock::now();
                JobResult result = runJob(factory, jobs[i], options, owner);
                result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
                if (result.status != JobStatus::Failed)
                    owner = &jobs[i].source;
                const std::lock_guard lock(reporting);
                ++done;
                failures += result.status == JobStatus::Failed ? 1 : 0;
                if (progress)
                    progress(jobs[i], result, done, jobs.size());
            }
        }
    };
    const unsigned count = std::max(1u, std::min<unsigned>(options.threads, static_cast<unsigned>(chains.size())));
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < count; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    return failures;
}

} // namespace velquin::cli
