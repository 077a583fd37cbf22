// Writing the output file with POSIX calls.
#include "engine/xmlss/FileSink.h"

#include "engine/xmlss/FileSpill.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace velquin::engine::xmlss {

int writeFully(int fd, const char* data, std::size_t size, const std::uint64_t* offset)
{
    std::uint64_t at = offset ? *offset : 0;
    while (size > 0)
    {
        const ssize_t done = offset ? ::pwrite(fd, data, size, static_cast<off_t>(at)) : ::write(fd, data, size);
        if (done < 0)
        {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        at += static_cast<std::uint64_t>(done);
    }
    return 0;
}

EngineErrc writeFailureCode(int error)
{
    return (error == ENOSPC || error == EDQUOT || error == EFBIG) ? EngineErrc::DiskFull
                                                                  : EngineErrc::OutputNotWritable;
}

FileSink::~FileSink()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Status FileSink::failure(int error, const char* what) const
{
    m_lastError = error;
    return {writeFailureCode(error), std::string(what) + " " + m_path + ": " + std::strerror(error)};
}

Status FileSink::create(const std::string& path)
{
    m_path = path;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return failure(errno, "Cannot create");
    m_lastError = 0;
    return {};
}

Status FileSink::append(const char* data, std::size_t size)
{
    if (int error = writeFully(m_fd, data, size, nullptr))
        return failure(error, "Cannot write");
    return {};
}

Status FileSink::overwrite(std::uint64_t offset, const char* data, std::size_t size)
{
    if (int error = writeFully(m_fd, data, size, &offset))
        return failure(error, "Cannot write");
    return {};
}

Status FileSink::appendFile(int fd, std::uint64_t size)
{
    loff_t from = 0;
    while (static_cast<std::uint64_t>(from) < size)
    {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - static_cast<std::uint64_t>(from), 1 << 30));
        const ssize_t done = ::copy_file_range(fd, &from, m_fd, nullptr, want, 0);
        if (done > 0)
            continue;
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0 && errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return failure(errno, "Cannot write");
        break; // not supported between these files: copy through memory
    }
    std::vector<char> buffer(std::size_t(1) << 20);
    while (static_cast<std::uint64_t>(from) < size)
    {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - static_cast<std::uint64_t>(from), buffer.size()));
        const ssize_t got = ::pread(fd, buffer.data(), want, from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return failure(got < 0 ? errno : EIO, "Cannot read back the worksheets for");
        if (Status status = append(buffer.data(), static_cast<std::size_t>(got)); !status)
            return status;
        from += got;
    }
    return {};
}

Status FileSink::createSpill(std::unique_ptr<Spill>& spill)
{
    const std::size_t slash = m_path.rfind('/');
    auto file = std::make_unique<FileSpill>();
    if (Status status =
            file->create(slash == std::string::npos ? std::string(".") : m_path.substr(0, slash + (slash == 0)));
        !status)
        return status;
    spill = std::move(file);
    return {};
}

Status FileSink::close(bool sync)
{
    // Delayed allocation may report a full disk only here, so both results count.
    const int synced = sync ? ::fsync(m_fd) : 0;
    const int syncError = errno;
    const int closed = ::close(m_fd);
    const int closeError = errno;
    m_fd = -1;
    if (synced != 0)
        return failure(syncError, "Cannot write");
    if (closed != 0)
        return failure(closeError, "Cannot close");
    return {};
}

} // namespace velquin::engine::xmlss
