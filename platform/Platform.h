// The platform services the window, the lists and the conversion share: directory search, attribute query,
// folder creation and shell open, behind one narrow interface so tests can replace the file system.
#pragma once

#include <cstdint>
#include <string>

namespace velquin::platform {

/// What a file-system call can report instead of a result.
enum class FsError
{
    None = 0,
    BadName,       ///< malformed pattern or path (wildcards outside the last component, an embedded NUL)
    NotFound,      ///< the path does not exist
    ParentMissing, ///< folder creation: the parent folder does not exist
    AlreadyExists, ///< folder creation: an entry of that name exists already
    AccessDenied,  ///< permissions, a read-only file system
    IoError,       ///< anything else the system reports (a device that is not ready, an I/O error)
};

/// Attribute bits, with the values the attribute filter of a search and the attribute query use.
namespace attr {
inline constexpr int Normal = 0;
inline constexpr int ReadOnly = 1;
inline constexpr int Hidden = 2;
inline constexpr int System = 4;
inline constexpr int Directory = 16;
inline constexpr int Archive = 32;
} // namespace attr

/// A name from a directory search: empty when no (further) entry matched; error set when the search failed.
struct SearchResult
{
    std::string name;
    FsError error = FsError::None;
};

/// The attribute bits of one path, or the error that prevented reading them.
struct AttributeResult
{
    int bits = 0;
    FsError error = FsError::None;
};

/// Show commands of shell open: how the opened window is shown.
inline constexpr int kShowMaximized = 3;
inline constexpr int kShowNormal = 5;

class Platform
{
public:
    virtual ~Platform() = default;

    /// Starts a directory search and returns the first match. The pattern is a path whose last component may hold
    /// "*" and "?"; a pattern ending in "/" stands for the entries inside that folder. Names match
    /// case-insensitively, and a three-character extension in the pattern also matches longer extensions that begin
    /// with it ("*.xls" lists .xlsx too). `filter` admits normal files (0) plus hidden entries (2), system
    /// entries (4) and folders (16). Names beginning with "." are hidden. A new start replaces the search in progress.
    virtual SearchResult findFirst(const std::string& pattern, int filter) = 0;
    /// The next match of the search in progress; an empty name when it is exhausted.
    virtual SearchResult findNext() = 0;

    /// The attribute bits of an existing path; NotFound when it does not exist, BadName for wildcards.
    virtual AttributeResult attributes(const std::string& path) = 0;

    /// Creates one folder whose parent must exist: ParentMissing, AlreadyExists or AccessDenied otherwise.
    virtual FsError createFolder(const std::string& path) = 0;

    /// Hands a URL, a "mailto:" link or a folder to the program registered for it. The result is not reported:
    /// nobody acts on a failure to open a browser.
    virtual void shellOpen(const std::string& file, int showCommand) = 0;
};

} // namespace velquin::platform
