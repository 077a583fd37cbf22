// The real platform services over POSIX calls.
#include "platform/PosixPlatform.h"

#include "platform/Wildcard.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquin::platform {

namespace {

bool hasNul(const std::string& s)
{
    return s.find('\0') != std::string::npos;
}

FsError fromErrno(int err)
{
    switch (err)
    {
    case ENOENT:
    case ENOTDIR:
        return FsError::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return FsError::AccessDenied;
    case ENAMETOOLONG:
    case EINVAL:
        return FsError::BadName;
    case EEXIST:
        return FsError::AlreadyExists;
    default:
        return FsError::IoError;
    }
}

bool isDotName(std::string_view name)
{
    return name == "." || name == "..";
}

// The attribute bits this system can express: folders, hidden dot-names, read-only by the owner's write bit, and
// "system" for anything that is neither a regular file nor a folder (devices, pipes, sockets), so that no search
// for workbooks ever hands one of those to a reader.
int bitsOf(const struct stat& st, std::string_view name)
{
    int bits = 0;
    if (S_ISDIR(st.st_mode))
        bits |= attr::Directory;
    else if (!S_ISREG(st.st_mode))
        bits |= attr::System;
    if (!name.empty() && name.front() == '.' && !isDotName(name))
        bits |= attr::Hidden;
    if (!(st.st_mode & S_IWUSR))
        bits |= attr::ReadOnly;
    return bits;
}

std::string_view baseName(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string joinPath(std::string_view folder, std::string_view name)
{
    std::string p(folder);
    if (p.empty() || p.back() != '/')
        p += '/';
    p += name;
    return p;
}

} // namespace

SearchResult PosixPlatform::findFirst(const std::string& pattern, int filter)
{
    m_matches.clear();
    m_next = 0;
    m_deferred.reset();
    if (pattern.empty() || hasNul(pattern))
        return {{}, FsError::BadName};
    auto parts = splitPattern(pattern);
    if (hasWildcards(parts.folder))
        return {{}, FsError::BadName};
    std::string folder(parts.folder);

    // Most searches ask whether one exact path is there (every path-type check does two of them). Reading the
    // whole folder for that made each check cost a scan of a folder that may hold thousands of workbooks.
    if (!parts.insideFolder && !parts.name.empty() && !hasWildcards(parts.name) && !isDotName(parts.name))
    {
        struct stat st;
        if (::stat(joinPath(folder, parts.name).c_str(), &st) == 0 && passesFilter(bitsOf(st, parts.name), filter))
        {
            m_deferred = Deferred{folder, std::string(parts.name), filter};
            return {std::string(parts.name), FsError::None};
        }
    }
    return scan(folder, parts.name, parts.insideFolder, filter);
}

SearchResult PosixPlatform::scan(const std::string& folder, std::string_view pattern, bool insideFolder, int filter)
{
    m_matches.clear();
    m_next = 0;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
    {
        int err = errno;
        // A folder that is not there simply holds no match; only a folder we may not read is an error.
        if (err == ENOENT || err == ENOTDIR)
            return {};
        return {{}, fromErrno(err)};
    }
    std::vector<std::string> dots;
    errno = 0;
    while (dirent* entry = ::readdir(dir))
    {
        std::string_view name(entry->d_name);
        if (isDotName(name) && !insideFolder)
            continue;
        if (!matchesPattern(pattern, name))
            continue;
        struct stat st;
        if (::stat(joinPath(folder, name).c_str(), &st) != 0)
            continue; // a dangling link or an entry removed meanwhile
        if (!passesFilter(bitsOf(st, name), filter))
            continue;
        (isDotName(name) ? dots : m_matches).emplace_back(name);
        errno = 0;
    }
    int readErr = errno;
    ::closedir(dir);
    if (readErr != 0)
    {
        m_matches.clear();
        return {{}, fromErrno(readErr)};
    }
    std::sort(m_matches.begin(), m_matches.end(), nameLess);
    std::sort(dots.begin(), dots.end());
    m_matches.insert(m_matches.begin(), dots.begin(), dots.end());
    return findNext();
}

SearchResult PosixPlatform::findNext()
{
    if (m_deferred)
    {
        // The exact name went out first; the rest are the other names the pattern matches.
        Deferred deferred = std::move(*m_deferred);
        m_deferred.reset();
        auto first = scan(deferred.folder, deferred.name, false, deferred.filter);
        if (first.error != FsError::None)
            return first;
        std::erase(m_matches, deferred.name);
        m_next = 0;
    }
    if (m_next >= m_matches.size())
        return {};
    return {m_matches[m_next++], FsError::None};
}

AttributeResult PosixPlatform::attributes(const std::string& path)
{
    if (path.empty() || hasNul(path) || hasWildcards(path))
        return {0, FsError::BadName};
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return {0, fromErrno(errno)};
    return {bitsOf(st, baseName(path)), FsError::None};
}

FsError PosixPlatform::createFolder(const std::string& path)
{
    if (path.empty() || hasNul(path))
        return FsError::BadName;
    if (::mkdir(path.c_str(), 0777) == 0)
        return FsError::None;
    int err = errno;
    if (err == ENOENT)
        return FsError::ParentMissing;
    if (err == ENOTDIR)
        return FsError::ParentMissing;
    return fromErrno(err);
}

void PosixPlatform::shellOpen(const std::string& file, int /*showCommand*/)
{
    if (file.empty() || hasNul(file))
        return;
    // A leading "-" would read as an option of the opener.
    std::string target = file.front() == '-' ? "./" + file : file;
    // Double fork so the opener is adopted by init and never left as a zombie of ours.
    pid_t child = ::fork();
    if (child == 0)
    {
        if (::fork() == 0)
        {
            ::execlp("xdg-open", "xdg-open", target.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::_exit(0);
    }
    if (child > 0)
        ::waitpid(child, nullptr, 0);
}

} // namespace velquin::platform
