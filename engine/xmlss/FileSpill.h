// A spill on disk: an unnamed temporary file in the output's folder, so held-back worksheets cost no memory.
#pragma once

#include "engine/xmlss/ByteSink.h"

#include <string>

namespace velquin::engine::xmlss {

class FileSpill : public Spill
{
public:
    FileSpill() = default;
    ~FileSpill() override;
    FileSpill(const FileSpill&) = delete;
    FileSpill& operator=(const FileSpill&) = delete;

    /// Creates the file in `folder`; it has no name, so nothing is left behind however the conversion ends.
    /// Errors: OutputNotWritable.
    Status create(const std::string& folder);
    Status append(const char* data, std::size_t size) override;
    Status overwrite(std::uint64_t offset, const char* data, std::size_t size) override;
    Status copyTo(ByteSink& destination) override;

private:
    Status failure(int error, const char* what) const;

    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_folder;
};

} // namespace velquin::engine::xmlss
