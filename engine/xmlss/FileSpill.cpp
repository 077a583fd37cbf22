// The held-back worksheets in an unnamed file beside the output.
#include "engine/xmlss/FileSpill.h"

#include "engine/xmlss/FileSink.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace velquin::engine::xmlss {

FileSpill::~FileSpill()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

Status FileSpill::failure(int error, const char* what) const
{
    return {writeFailureCode(error),
            std::string(what) + " a temporary file in " + m_folder + ": " + std::strerror(error)};
}

Status FileSpill::create(const std::string& folder)
{
    m_folder = folder.empty() ? std::string(".") : folder;
#ifdef O_TMPFILE
    m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (m_fd >= 0)
        return {};
#endif
    // File systems without unnamed files: a named one, unlinked at once.
    std::string pattern = m_folder + "/.velquin-XXXXXX";
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0)
        return failure(errno, "Cannot create");
    ::unlink(pattern.c_str());
    return {};
}

Status FileSpill::append(const char* data, std::size_t size)
{
    const Status written = overwrite(m_size, data, size);
    if (written)
        m_size += size;
    return written;
}

Status FileSpill::overwrite(std::uint64_t offset, const char* data, std::size_t size)
{
    if (int error = writeFully(m_fd, data, size, &offset))
        return failure(error, "Cannot write");
    return {};
}

Status FileSpill::copyTo(ByteSink& destination)
{
    if (auto* file = dynamic_cast<FileSink*>(&destination))
        return file->appendFile(m_fd, m_size);
    std::vector<char> buffer(std::size_t(1) << 20);
    std::uint64_t offset = 0;
    while (offset < m_size)
    {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_size - offset));
        const ssize_t got = ::pread(m_fd, buffer.data(), want, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return failure(got < 0 ? errno : EIO, "Cannot read back");
        if (Status status = destination.append(buffer.data(), static_cast<std::size_t>(got)); !status)
            return status;
        offset += static_cast<std::uint64_t>(got);
    }
    return {};
}

} // namespace velquin::engine::xmlss
