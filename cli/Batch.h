// The conversions of one velquin-convert run: which workbook goes to which file, and running them in parallel.
#pragma once

#include "convert/automation/Automation.h"
#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velquin::cli {

/// Error numbers of velquin-convert's own, beside the engine's (1001 and up). Never renumbered or reused.
enum class BatchErrc : std::int32_t
{
    OutputTaken = 2001,      ///< a second source of the run maps to an output the run already wrote or kept
    FolderUnreadable = 2002, ///< a folder source cannot be searched for workbooks
    OutputIsSource = 2003,   ///< the output would replace the workbook it is made from
};

struct Job
{
    std::string source; ///< the workbook
    std::string output; ///< the .xml file
    /// Set when planning already knows the job fails (a folder that cannot be listed); nothing is converted then.
    std::optional<convert::AutomationError> planningError;
};

enum class JobStatus
{
    Converted,
    Failed,
    Skipped, ///< --skip-existing: the output is newer than the source
};

struct JobResult
{
    JobStatus status = JobStatus::Failed;
    std::int32_t number = 0; ///< the error number when failed
    std::string description;
    double seconds = 0;
    std::uint64_t bytesIn = 0;  ///< size of the source, 0 when it cannot be read
    std::uint64_t bytesOut = 0; ///< size of the output when converted or skipped
};

/// The jobs of `-d outputFolder sources...`: a folder source gives one job per workbook it lists, in name order,
/// any other source one job (a missing file then fails when it is opened). Each output is named by the window's
/// rule (outputBaseName, then outputBasePath through `platform`) + ".xml". A folder that cannot be searched gives
/// one job that fails with FolderUnreadable.
std::vector<Job> planFolderJobs(platform::Platform& platform, const std::string& outputFolder,
                                const std::vector<std::string>& sources);

/// Converts one workbook with the seven automation operations, as the window does: create the application,
/// Workbooks, Open, DisplayAlerts off, SaveAs with format 46, Close, Quit. After a failure the opened workbook is
/// closed and the application quit; the workbook is released before the application. Status, error and sizes are
/// filled in, the time is not.
JobResult convertWorkbook(convert::ApplicationFactory& factory, const Job& job);

/// The OutputTaken error of `source`, whose output `output` another source, `holder`, took first.
convert::AutomationError outputTakenError(const std::string& output, const std::string& holder,
                                          const std::string& source);

struct RunOptions
{
    unsigned threads = 1;
    bool skipExisting = false; ///< leave a source alone when its output is newer
    bool replace = false;      ///< let a later source replace an output this run wrote from another
    std::string claimsFolder;  ///< shared with the other processes of the run; empty when this process is alone
};

/// Called after each job, one call at a time.
using ProgressCallback =
    std::function<void(const Job& job, const JobResult& result, std::size_t done, std::size_t total)>;

/// Runs `jobs` on up to `options.threads` threads. Jobs writing the same output file run one after the other in list
/// order: once one of them converted or was skipped, each later one fails with OutputTaken (naming both sources),
/// unless `options.replace` lets it replace the output. With a claims folder the same holds across processes:
/// each job that would convert or skip first claims its output name there (claimOutput). A job whose output is its
/// own source fails with OutputIsSource. Returns the number of failed jobs.
std::size_t runJobs(convert::ApplicationFactory& factory, const std::vector<Job>& jobs, const RunOptions& options,
                    const ProgressCallback& progress);

} // namespace velquin::cli
