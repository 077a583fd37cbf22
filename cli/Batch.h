// The conversions of one velquin-convert run: which workbook goes to which file, and running them in parallel.
#pragma once

#include "convert/automation/Automation.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace velquin::cli {

struct Job
{
    std::string source; ///< the workbook
    std::string output; ///< the .xml file
};

struct JobResult
{
    bool converted = false;
    std::int32_t number = 0; ///< the automation error number when not converted
    std::string description;
};

/// The jobs of `-d outputFolder sources...`: a folder source gives one job per workbook it lists, any other source
/// one job (a missing file then fails when it is opened). Output names follow outputBasePath + ".xml".
std::vector<Job> planFolderJobs(const std::string& outputFolder, const std::vector<std::string>& sources);

/// Converts one workbook with the seven automation operations, as the GUI does: create the application,
/// Workbooks, Open, DisplayAlerts off, SaveAs with format 46, Close, Quit. After a failure the opened workbook is
/// closed and the application quit; the workbook is released before the application.
/// Encrypted workbooks take their passwords from `passwords` (none asked when nullptr).
JobResult convertWorkbook(convert::ApplicationFactory& factory, const Job& job,
                          convert::PasswordSource* passwords = nullptr);

/// Called after each job, one call at a time.
using ProgressCallback =
    std::function<void(const Job& job, const JobResult& result, std::size_t done, std::size_t total)>;

/// Runs `jobs` on up to `threads` threads. Jobs writing the same output file run one after the other in list
/// order, so the later workbook wins as it would in a sequential run. Returns the number of failed jobs.
std::size_t runJobs(convert::ApplicationFactory& factory, const std::vector<Job>& jobs, unsigned threads,
                    const ProgressCallback& progress, convert::PasswordSource* passwords = nullptr);

} // namespace velquin::cli
