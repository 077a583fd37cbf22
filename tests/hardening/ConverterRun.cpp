// Child-process runner for velquin-convert: fork, exec, poll with a deadline, wait4 for the resource usage.
#include "tests/hardening/ConverterRun.h"

#include "tests/support/TestSupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <expat.h>
#include <fcntl.h>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace velquin::test {

ConverterRun runConverter(const std::vector<std::string>& arguments, double limitSeconds, std::uint64_t fileSizeLimit)
{
    ConverterRun run;
    char errorTemplate[] = "/tmp/velquin-convert-stderr-XXXXXX";
    const int errorFd = ::mkstemp(errorTemplate);
    if (errorFd < 0)
        return run;
    // VELQUIN_CONVERT runs another build of the converter (one built with the sanitizers, say).
    const char* converter = std::getenv("VELQUIN_CONVERT");
    std::vector<std::string> argv{converter && *converter ? converter : VELQUIN_CONVERT_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& a : argv)
        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0)
    {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(errorFd, STDERR_FILENO);
        if (fileSizeLimit > 0)
        {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    ::close(errorFd);
    if (child < 0)
    {
        std::remove(errorTemplate);
        return run;
    }
    int status = 0;
    rusage usage{};
    const auto limit = start + std::chrono::duration<double>(limitSeconds);
    while (true)
    {
        const pid_t done = ::wait4(child, &status, WNOHANG, &usage);
        if (done == child)
            break;
        if (done < 0 && errno != EINTR)
            break;
        if (std::chrono::steady_clock::now() > limit && !run.overTime)
        {
            run.overTime = true;
            ::kill(child, SIGKILL);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.peakRssKb = usage.ru_maxrss;
    run.errorOutput = readFile(errorTemplate);
    std::remove(errorTemplate);
    return run;
}

std::vector<std::string> failedSources(const std::string& errorOutput)
{
    std::vector<std::string> sources;
    std::size_t at = 0;
    while (at < errorOutput.size())
    {
        std::size_t end = errorOutput.find('\n', at);
        if (end == std::string::npos)
            end = errorOutput.size();
        const std::string line = errorOutput.substr(at, end - at);
        // "SOURCE: 1006: The workbook file is damaged. ..." (the source may itself hold ": ")
        for (std::size_t colon = line.find(": "); colon != std::string::npos; colon = line.find(": ", colon + 1))
        {
            std::size_t digits = colon + 2;
            while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
                ++digits;
            if (digits > colon + 2 && line.compare(digits, 2, ": ") == 0)
            {
                sources.push_back(line.substr(0, colon));
                break;
            }
        }
        at = end + 1;
    }
    return sources;
}

bool isWellFormedXml(const std::string& path)
{
    const std::string text = readFile(path);
    XML_Parser parser = XML_ParserCreate(nullptr);
    const bool ok = !text.empty() && XML_Parse(parser, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

} // namespace velquin::test
