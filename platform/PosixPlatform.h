// The real platform services over POSIX calls.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <string>
#include <vector>

namespace velquin::platform {

class PosixPlatform : public Platform
{
public:
    SearchResult findFirst(const std::string& pattern, int filter) override;
    SearchResult findNext() override;
    AttributeResult attributes(const std::string& path) override;
    FsError createFolder(const std::string& path) override;
    /// Starts xdg-open detached; the window-system build replaces this with the desktop's own opener.
    void shellOpen(const std::string& file, int showCommand) override;

private:
    std::vector<std::string> m_matches;
    std::size_t m_next = 0;
};

} // namespace velquin::platform
