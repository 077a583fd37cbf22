// Read access to the parts of a zip package.
#include "engine/xlsx/ZipPackage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <zip.h>

namespace velquin::engine::xlsx {

ZipPartStream::~ZipPartStream()
{
    if (m_file)
        zip_fclose(m_file);
}

Status ZipPartStream::read(char* buffer, std::size_t size, std::size_t& got)
{
    got = 0;
    if (!m_file || m_read >= m_size)
        return {};
    std::uint64_t wanted = std::min<std::uint64_t>(size, m_size - m_read);
    zip_int64_t n = zip_fread(m_file, buffer, wanted);
    if (n < 0)
        return {EngineErrc::DamagedFile, m_name + ": " + zip_file_strerror(m_file)};
    if (n == 0)
        return {EngineErrc::DamagedFile,
                m_name + " ends after " + std::to_string(m_read) + " of " + std::to_string(m_size) + " bytes"};
    got = static_cast<std::size_t>(n);
    m_read += static_cast<std::uint64_t>(n);
    return {};
}

ZipPackage::~ZipPackage()
{
    if (m_archive)
        zip_discard(m_archive);
}

Status ZipPackage::open(const std::string& path)
{
    int error = 0;
    m_archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    if (m_archive)
    {
        indexBackslashNames();
        return {};
    }
    switch (error)
    {
    case ZIP_ER_NOENT:
        return {EngineErrc::FileNotFound, path};
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
        return {EngineErrc::FileUnreadable, path};
    case ZIP_ER_NOZIP:
        return {EngineErrc::NotAWorkbook, path + " is not a zip package"};
    case ZIP_ER_MEMORY:
        return {EngineErrc::OutOfMemory, path};
    default: {
        zip_error_t detail;
        zip_error_init_with_code(&detail, error);
        std::string text = zip_error_strerror(&detail);
        zip_error_fini(&detail);
        return {EngineErrc::DamagedFile, path + ": " + text};
    }
    }
}

void ZipPackage::indexBackslashNames()
{
    // A part name never holds a backslash, so an entry name with one was written with the wrong separator.
    const zip_int64_t count = zip_get_num_entries(m_archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
    {
        const char* raw = zip_get_name(m_archive, static_cast<zip_uint64_t>(i), 0);
        if (!raw || !std::strchr(raw, '\\'))
            continue;
        std::string name(raw);
        for (char& c : name)
            c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        m_backslashNames.emplace(std::move(name), i);
    }
}

std::int64_t ZipPackage::find(std::string_view name) const
{
    if (!m_archive)
        return -1;
    std::string key(name);
    const zip_int64_t found = zip_name_locate(m_archive, key.c_str(), ZIP_FL_NOCASE);
    if (found >= 0 || m_backslashNames.empty())
        return found;
    for (char& c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto it = m_backslashNames.find(key);
    return it != m_backslashNames.end() ? it->second : -1;
}

bool ZipPackage::contains(std::string_view name) const
{
    return find(name) >= 0;
}

Status ZipPackage::locate(std::string_view name, std::uint64_t& index, std::uint64_t& size, std::uint64_t& storedSize,
                          std::uint64_t limit) const
{
    std::string key(name);
    const std::int64_t found = find(name);
    if (found < 0)
        return {EngineErrc::DamagedFile, "the part " + key + " is missing"};
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_archive, static_cast<zip_uint64_t>(found), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        !(stat.valid & ZIP_STAT_COMP_SIZE))
        return {EngineErrc::DamagedFile, "the directory entry of " + key + " cannot be read"};
    if (stat.size > limit)
        return {EngineErrc::LimitExceeded, key + " inflates to " + std::to_string(stat.size) + " bytes"};
    if (stat.size > kRatioCheckFrom && stat.size / std::max<std::uint64_t>(stat.comp_size, 1) > kMaxRatio)
        return {EngineErrc::LimitExceeded,
                key + " is compressed more than " + std::to_string(kMaxRatio) + " to 1, which no workbook part is"};
    index = static_cast<std::uint64_t>(found);
    size = stat.size;
    storedSize = stat.comp_size;
    return {};
}

Status ZipPackage::openStream(std::string_view name, ZipPartStream& stream) const
{
    std::uint64_t index = 0, size = 0, storedSize = 0;
    if (Status status = locate(name, index, size, storedSize, kMaxPartSize); !status)
        return status;
    if (stream.m_file)
        zip_fclose(stream.m_file);
    stream.m_file = zip_fopen_index(m_archive, index, 0);
    stream.m_name = std::string(name);
    stream.m_size = size;
    stream.m_storedSize = storedSize;
    stream.m_read = 0;
    if (!stream.m_file)
    {
        zip_error_t* error = zip_get_error(m_archive);
        int code = zip_error_code_zip(error);
        if (code == ZIP_ER_ENCRNOTSUPP || code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD)
            return {EngineErrc::EncryptedWorkbook, stream.m_name};
        if (code == ZIP_ER_COMPNOTSUPP)
            return {EngineErrc::UnsupportedFormat, stream.m_name + " uses a compression method not supported"};
        return {EngineErrc::DamagedFile, stream.m_name + ": " + zip_error_strerror(error)};
    }
    return {};
}

Status ZipPackage::read(std::string_view name, std::string& out) const
{
    std::uint64_t index = 0, size = 0, storedSize = 0;
    if (Status status = locate(name, index, size, storedSize, kMaxWholePartSize); !status)
        return status;
    ZipPartStream stream;
    if (Status status = openStream(name, stream); !status)
        return status;
    // The stated size is only a claim that a damaged package can make up: memory follows the data inflated.
    constexpr std::size_t kPiece = std::size_t(1) << 16;
    out.clear();
    out.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size, kPiece)));
    while (out.size() < size)
    {
        const std::size_t filled = out.size();
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(size - filled, kPiece));
        out.resize(filled + piece);
        std::size_t got = 0;
        if (Status status = stream.read(out.data() + filled, piece, got); !status)
            return status;
        out.resize(filled + got);
    }
    return {};
}

} // namespace velquin::engine::xlsx
