// Output claims through files created whole by link(2).
#include "cli/OutputClaims.h"

#include "cli/Batch.h"
#include "engine/Error.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velquin::cli {

namespace {

std::optional<std::string> readClaim(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        text.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    ::close(fd);
    return text;
}

bool writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size())
    {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

/// A name no other thread, process or machine uses at the same time.
std::string temporaryName(const std::string& folder)
{
    static std::atomic<unsigned long> counter{0};
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    return folder + "/.claim-" + host + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

convert::AutomationError notWritable(const std::string& path, int error)
{
    return {static_cast<std::int32_t>(engine::EngineErrc::OutputNotWritable),
            std::string(engine::describe(engine::EngineErrc::OutputNotWritable)) + " The claim " + path +
                " cannot be made: " + std::strerror(error)};
}

} // namespace

std::optional<convert::AutomationError> claimOutput(const std::string& claimsFolder, const std::string& source,
                                                    const std::string& output)
{
    const std::size_t slash = output.rfind('/');
    const std::string claim = claimsFolder + "/" + (slash == std::string::npos ? output : output.substr(slash + 1));
    // The second pass reads the claim that another process made between our read and our link.
    for (int pass = 0; pass < 2; ++pass)
    {
        if (const std::optional<std::string> holder = readClaim(claim))
        {
            if (*holder == source)
                return std::nullopt;
            return outputTakenError(output, *holder, source);
        }
        const std::string temporary = temporaryName(claimsFolder);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0)
            return notWritable(temporary, errno);
        const bool written = writeAll(fd, source);
        const int writeError = errno;
        ::close(fd);
        const int linked = written ? ::link(temporary.c_str(), claim.c_str()) : -1;
        const int linkError = written ? errno : writeError;
        ::unlink(temporary.c_str());
        if (linked == 0)
            return std::nullopt;
        if (linkError != EEXIST)
            return notWritable(claim, linkError);
    }
    return notWritable(claim, EEXIST);
}

} // namespace velquin::cli
