// An in-memory file tree standing in for the platform in tests; it also records every shell open. Its calls may come
// from several threads (conversions that write files while the window looks at paths).
#pragma once

#include "platform/Platform.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace velquin::platform {

class FakePlatform : public Platform
{
public:
    struct ShellOpen
    {
        std::string file;
        int showCommand = 0;
        bool operator==(const ShellOpen&) const = default;
    };

    /// Adds a file (and any missing parent folders). `extraBits` may add Hidden, System or ReadOnly.
    void addFile(const std::string& path, int extraBits = 0);
    /// Adds a folder (and any missing parents).
    void addFolder(const std::string& path, int extraBits = 0);
    /// Removes a file or a folder with everything in it.
    void remove(const std::string& path);
    bool exists(const std::string& path) const;
    bool isFolder(const std::string& path) const;

    /// Searches inside `folder` fail with `error` after `afterNames` names have been reported.
    void failSearchesIn(const std::string& folder, FsError error, int afterNames = 0);
    /// Attribute queries of `path` fail with `error`.
    void failAttributes(const std::string& path, FsError error);
    /// Creating folders inside `folder` fails with AccessDenied.
    void denyCreateIn(const std::string& folder);

    const std::vector<ShellOpen>& shellOpens() const { return m_shellOpens; }

    SearchResult findFirst(const std::string& pattern, int filter) override;
    SearchResult findNext() override;
    AttributeResult attributes(const std::string& path) override;
    FsError createFolder(const std::string& path) override;
    void shellOpen(const std::string& file, int showCommand) override;

private:
    struct Entry
    {
        std::string path; // normalised: no trailing "/", except the root "/"
        int bits = 0;
    };
    struct SearchFailure
    {
        FsError error = FsError::None;
        int afterNames = 0;
    };

    static std::string normalise(const std::string& path);
    static std::string parentOf(const std::string& path);
    static std::string nameOf(const std::string& path);
    const Entry* find(const std::string& path) const;
    void add(const std::string& path, int bits);

    mutable std::recursive_mutex m_mutex;
    std::vector<Entry> m_entries; // in the order they were added: the order searches report
    std::map<std::string, SearchFailure> m_searchFailures;
    std::map<std::string, FsError> m_attributeFailures;
    std::vector<std::string> m_deniedFolders;
    std::vector<ShellOpen> m_shellOpens;

    std::vector<std::string> m_matches;
    std::size_t m_next = 0;
    FsError m_pendingError = FsError::None;
    std::size_t m_errorAt = 0;
};

} // namespace velquin::platform
