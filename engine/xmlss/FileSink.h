// A ByteSink over a new file: plain POSIX writes, so a full disk or an I/O error is never missed.
#pragma once

#include "engine/xmlss/ByteSink.h"

#include <string>

namespace velquin::engine::xmlss {

/// Writes all `size` bytes of `data` to `fd`, going on after interruptions and short writes: at `offset` when it is
/// not null (the file position stays where it is), else at the file position. Returns 0, or the errno of the failure.
int writeFully(int fd, const char* data, std::size_t size, const std::uint64_t* offset);
/// The error that creating or writing a file failing with the errno `error` gives: DiskFull when space ran out.
EngineErrc writeFailureCode(int error);

class FileSink : public ByteSink
{
public:
    FileSink() = default;
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    /// Creates `path`, which must not exist yet (mode 0666 before umask). Errors: OutputNotWritable.
    Status create(const std::string& path);
    Status append(const char* data, std::size_t size) override;
    Status overwrite(std::uint64_t offset, const char* data, std::size_t size) override;
    /// Appends the first `size` bytes of the open file `fd`, copied inside the kernel where it can.
    /// Errors: OutputNotWritable, DiskFull.
    Status appendFile(int fd, std::uint64_t size);
    /// An unnamed temporary file in the same folder. Errors: OutputNotWritable.
    Status createSpill(std::unique_ptr<Spill>& spill) override;
    /// Closes the file, first flushing it to the disk when `sync` is true. Errors: OutputNotWritable, DiskFull.
    Status close(bool sync);
    /// The errno of the last failed call, 0 when none failed.
    int lastError() const { return m_lastError; }

private:
    Status failure(int error, const char* what) const;

    mutable int m_lastError = 0;
    int m_fd = -1;
    std::string m_path;
};

} // namespace velquin::engine::xmlss
