// The real platform services over POSIX calls.
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
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
    SearchResult scan(const std::string& folder, std::string_view name, bool insideFolder, int filter);

    std::vector<std::string> m_matches;
    std::size_t m_next = 0;
    /// A search for one exact name answered without reading its folder; the folder is read only if the caller
    /// asks for more (a name that differs in case or in a longer extension).
    struct Deferred
    {
        std::string folder;
        std::string name;
        int filter = 0;
    };
    std::optional<Deferred> m_deferred;
};

} // namespace velquin::platform
