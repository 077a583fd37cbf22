// An in-memory file tree standing in for the platform in tests.
#include "platform/FakePlatform.h"

#include "platform/Wildcard.h"

#include <algorithm>

namespace velquin::platform {

std::string FakePlatform::normalise(const std::string& path)
{
    // Repeated separators name the same entry, as they do on a real file system.
    std::string p;
    for (char c : path)
    {
        if (c != '/' || p.empty() || p.back() != '/')
            p += c;
    }
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

std::string FakePlatform::parentOf(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FakePlatform::nameOf(const std::string& path)
{
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

const FakePlatform::Entry* FakePlatform::find(const std::string& path) const
{
    auto p = normalise(path);
    if (p == "/" || p == ".")
    {
        static const Entry root{"/", attr::Directory};
        return &root;
    }
    auto it = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.path == p; });
    return it == m_entries.end() ? nullptr : &*it;
}

void FakePlatform::add(const std::string& path, int bits)
{
    auto p = normalise(path);
    if (p.empty() || p == "/" || p == ".")
        return;
    auto parent = parentOf(p);
    if (!find(parent))
        add(parent, attr::Directory);
    if (!find(p))
        m_entries.push_back({p, bits});
}

void FakePlatform::addFile(const std::string& path, int extraBits)
{
    const std::lock_guard lock(m_mutex);
    add(path, extraBits & ~attr::Directory);
}

void FakePlatform::addFolder(const std::string& path, int extraBits)
{
    const std::lock_guard lock(m_mutex);
    add(path, extraBits | attr::Directory);
}

void FakePlatform::remove(const std::string& path)
{
    const std::lock_guard lock(m_mutex);
    auto p = normalise(path);
    std::erase_if(m_entries, [&](const Entry& e) { return e.path == p || e.path.starts_with(p + "/"); });
}

bool FakePlatform::exists(const std::string& path) const
{
    const std::lock_guard lock(m_mutex);
    return find(path) != nullptr;
}

bool FakePlatform::isFolder(const std::string& path) const
{
    const std::lock_guard lock(m_mutex);
    auto* e = find(path);
    return e && (e->bits & attr::Directory);
}

void FakePlatform::failSearchesIn(const std::string& folder, FsError error, int afterNames)
{
    const std::lock_guard lock(m_mutex);
    m_searchFailures[normalise(folder)] = {error, afterNames};
}

void FakePlatform::failAttributes(const std::string& path, FsError error)
{
    const std::lock_guard lock(m_mutex);
    m_attributeFailures[normalise(path)] = error;
}

void FakePlatform::denyCreateIn(const std::string& folder)
{
    const std::lock_guard lock(m_mutex);
    m_deniedFolders.push_back(normalise(folder));
}

SearchResult FakePlatform::findFirst(const std::string& pattern, int filter)
{
    const std::lock_guard lock(m_mutex);
    m_matches.clear();
    m_next = 0;
    m_pendingError = FsError::None;
    if (pattern.empty() || pattern.find('\0') != std::string::npos)
        return {{}, FsError::BadName};
    auto parts = splitPattern(pattern);
    if (hasWildcards(parts.folder))
        return {{}, FsError::BadName};
    std::string folder = normalise(std::string(parts.folder));
    auto failure = m_searchFailures.find(folder);
    if (failure != m_searchFailures.end())
    {
        m_pendingError = failure->second.error;
        m_errorAt = static_cast<std::size_t>(std::max(0, failure->second.afterNames));
    }
    if (!isFolder(folder))
        return m_pendingError != FsError::None ? SearchResult{{}, m_pendingError} : SearchResult{};
    if (parts.insideFolder && passesFilter(attr::Directory, filter))
    {
        m_matches.emplace_back(".");
        m_matches.emplace_back("..");
    }
    for (const auto& e : m_entries)
    {
        if (parentOf(e.path) != folder)
            continue;
        auto name = nameOf(e.path);
        int bits = e.bits | (name.front() == '.' ? attr::Hidden : 0);
        if (matchesPattern(parts.name, name) && passesFilter(bits, filter))
            m_matches.push_back(name);
    }
    return findNext();
}

SearchResult FakePlatform::findNext()
{
    const std::lock_guard lock(m_mutex);
    if (m_pendingError != FsError::None && m_next >= m_errorAt)
        return {{}, m_pendingError};
    if (m_next >= m_matches.size())
        return {};
    return {m_matches[m_next++], FsError::None};
}

AttributeResult FakePlatform::attributes(const std::string& path)
{
    const std::lock_guard lock(m_mutex);
    if (path.empty() || hasWildcards(path))
        return {0, FsError::BadName};
    auto failure = m_attributeFailures.find(normalise(path));
    if (failure != m_attributeFailures.end())
        return {0, failure->second};
    auto* e = find(path);
    if (!e)
        return {0, FsError::NotFound};
    // A path with a trailing "/" names a folder; on a file it names nothing.
    if (path.size() > 1 && path.back() == '/' && !(e->bits & attr::Directory))
        return {0, FsError::NotFound};
    auto name = nameOf(e->path);
    return {e->bits | (name.front() == '.' && name != "/" ? attr::Hidden : 0), FsError::None};
}

FsError FakePlatform::createFolder(const std::string& path)
{
    const std::lock_guard lock(m_mutex);
    if (path.empty())
        return FsError::BadName;
    auto p = normalise(path);
    if (find(p))
        return FsError::AlreadyExists;
    auto parent = parentOf(p);
    if (!isFolder(parent))
        return FsError::ParentMissing;
    if (std::find(m_deniedFolders.begin(), m_deniedFolders.end(), parent) != m_deniedFolders.end())
        return FsError::AccessDenied;
    m_entries.push_back({p, attr::Directory});
    return FsError::None;
}

void FakePlatform::shellOpen(const std::string& file, int showCommand)
{
    const std::lock_guard lock(m_mutex);
    m_shellOpens.push_back({file, showCommand});
}

} // namespace velquin::platform
