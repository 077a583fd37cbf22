// Planning and running the conversions of one velquin-convert run.
#include "cli/Batch.h"

#include "cli/OutputNames.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
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

JobResult failed(const convert::AutomationError& error)
{
    return {false, error.number, error.description};
}

} // namespace

std::vector<Job> planFolderJobs(const std::string& outputFolder, const std::vector<std::string>& sources)
{
    const std::string folder = withTrailingSlash(outputFolder);
    std::vector<Job> jobs;
    for (const std::string& source : sources)
    {
        std::error_code error;
        if (std::filesystem::is_directory(source, error))
        {
            const std::string sourceFolder = withTrailingSlash(source);
            for (const std::string& name : listWorkbooks(source))
                jobs.push_back({sourceFolder + name, outputBasePath(folder, name) + ".xml"});
            continue;
        }
        jobs.push_back({source, outputBasePath(folder, fileNameOf(source)) + ".xml"});
    }
    return jobs;
}

JobResult convertWorkbook(convert::ApplicationFactory& factory, const Job& job, convert::PasswordSource* passwords)
{
    std::unique_ptr<convert::Application> application;
    std::unique_ptr<convert::Workbook> workbook;
    convert::AutomationStatus status = factory.create(application);
    convert::Workbooks* workbooks = nullptr;
    if (!status)
        status = application->Workbooks(workbooks);
    if (!status)
        status = workbooks->Open(job.source, workbook, passwords);
    if (!status)
        status = application->setDisplayAlerts(false);
    if (!status)
        status = workbook->SaveAs(job.output, convert::kXmlSpreadsheetFormat);
    if (!status)
        status = workbook->Close();
    if (!status)
        status = application->Quit();
    if (!status)
    {
        workbook.reset();
        application.reset();
        return {true, 0, {}};
    }
    if (status->number > 0)
    {
        if (workbook)
            workbook->Close();
        if (application)
            application->Quit();
    }
    workbook.reset();
    application.reset();
    return failed(*status);
}

std::size_t runJobs(convert::ApplicationFactory& factory, const std::vector<Job>& jobs, unsigned threads,
                    const ProgressCallback& progress, convert::PasswordSource* passwords)
{
    // Chains of jobs that share an output file, in list order; each chain runs on one thread.
    std::vector<std::vector<std::size_t>> chains;
    std::map<std::string, std::size_t> chainOfOutput;
    for (std::size_t i = 0; i < jobs.size(); ++i)
    {
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
            for (const std::size_t i : chains[c])
            {
                const JobResult result = convertWorkbook(factory, jobs[i], passwords);
                const std::lock_guard lock(reporting);
                ++done;
                failures += result.converted ? 0 : 1;
                if (progress)
                    progress(jobs[i], result, done, jobs.size());
            }
        }
    };
    const unsigned count = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(chains.size())));
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < count; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    return failures;
}

} // namespace velquin::cli
