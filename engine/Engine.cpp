// Format sniffing and the safe save path (temporary file, fsync, rename).
#include "engine/Engine.h"

#include "engine/Deadline.h"
#include "engine/crypto/EncryptedPackage.h"
#include "engine/xls/OleContainer.h"
#include "engine/text/TextReader.h"
#include "engine/xls/XlsReader.h"
#include "engine/xlsb/XlsbReader.h"
#include "engine/xlsx/XlsxReader.h"
#include "engine/xmlss/FileSink.h"
#include "engine/xmlss/WorkbookWriter.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace velquin::engine {

namespace {

constexpr std::array<unsigned char, 8> kOle2Magic{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

enum class Kind
{
    Ole2,
    Zip,
    Biff4OrOlder,
    Text,
    Unknown,
    Empty
};

// Built with append: GCC 12 warns falsely (-Wrestrict) about chains of operator+ on strings.
std::string joined(std::string_view a, std::string_view b, std::string_view c = {})
{
    std::string text;
    text.reserve(a.size() + b.size() + c.size());
    text.append(a).append(b).append(c);
    return text;
}

Kind sniff(const unsigned char* head, std::size_t size)
{
    if (size == 0)
        return Kind::Empty;
    if (size >= 8 && std::memcmp(head, kOle2Magic.data(), 8) == 0)
        return Kind::Ole2;
    if (size >= 4 && head[0] == 'P' && head[1] == 'K' && (head[2] == 3 || head[2] == 5) &&
        (head[3] == 4 || head[3] == 6))
        return Kind::Zip;
    // A bare BIFF2 to BIFF4 stream starts with its BOF record (0x0009, 0x0209, 0x0409) and no compound file.
    if (size >= 4 && (head[0] == 0x09) && (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04) && head[3] == 0)
        return Kind::Biff4OrOlder;
    std::size_t i = 0;
    if (size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF)
        i = 3;
    while (i < size && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n'))
        ++i;
    if (i < size && head[i] == '<')
        return Kind::Text;
    return Kind::Unknown;
}

Status readHead(const std::string& path, std::array<unsigned char, 8>& head, std::size_t& size)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status))
        return {EngineErrc::FileNotFound, path};
    if (std::filesystem::is_directory(status))
        return {EngineErrc::FileUnreadable, joined(path, " is a folder.")};
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {EngineErrc::FileUnreadable, joined(path, ": ", std::strerror(errno))};
    size = 0;
    while (size < head.size())
    {
        const ssize_t got = ::read(fd, head.data() + size, head.size() - size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
        {
            const int readError = errno;
            ::close(fd);
            return {EngineErrc::FileUnreadable, joined(path, ": ", std::strerror(readError))};
        }
        if (got == 0)
            break;
        size += static_cast<std::size_t>(got);
    }
    ::close(fd);
    return {};
}

/// A compound file holds a binary workbook, or an encrypted package in its EncryptionInfo and EncryptedPackage
/// streams.
Status openCompoundFile(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader,
                        const PasswordPrompt& prompt)
{
    auto container = std::make_unique<xls::OleContainer>();
    if (Status status = container->open(path); !status)
        return status;
    if (crypto::isEncryptedPackage(*container))
        return crypto::openEncryptedPackage(std::move(container), reader, prompt);
    return xls::openXls(std::move(container), reader, prompt);
}

Status openByKind(Kind kind, const std::string& path, std::unique_ptr<model::WorkbookReader>& reader,
                  const PasswordPrompt& prompt)
{
    switch (kind)
    {
    case Kind::Ole2:
        return openCompoundFile(path, reader, prompt);
    case Kind::Zip:
        if (xlsb::isBinaryPackage(path))
            return xlsb::openXlsb(path, reader);
        return xlsx::openXlsx(path, reader);
    case Kind::Biff4OrOlder:
        return xls::openBiff4OrOlder(path, reader);
    case Kind::Text:
        return text::openTextFile(path, reader);
    case Kind::Empty:
        return {EngineErrc::NotAWorkbook, "The file is empty."};
    case Kind::Unknown:
        break;
    }
    // Excel opens any text as delimited text; the text reader refuses binary data.
    return text::openTextFile(path, reader);
}

/// A hidden name next to the target that no other conversion uses at the same time.
std::string temporaryName(const std::filesystem::path& target, unsigned attempt)
{
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    const std::filesystem::path folder = target.parent_path();
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(thread % 1000000);
    name += '-';
    name += std::to_string(attempt);
    name += ".tmp";
    return (folder / name).string();
}

Status createTemporary(const std::filesystem::path& target, xmlss::FileSink& sink, std::string& path)
{
    Status created;
    for (unsigned attempt = 0; attempt < 100; ++attempt)
    {
        path = temporaryName(target, attempt);
        created = sink.create(path);
        if (created || sink.lastError() != EEXIST)
            return created;
    }
    return created;
}

// Removes the temporary file on every way out unless the rename has made it the target.
struct TemporaryFile
{
    std::string path;
    bool renamed = false;
    ~TemporaryFile()
    {
        if (!path.empty() && !renamed)
            ::unlink(path.c_str());
    }
};

Status writeTemporaryAndRename(model::WorkbookReader& reader, const std::string& target, Durability durability)
{
    const std::filesystem::path targetPath(target);
    std::error_code error;
    if (std::filesystem::is_directory(targetPath, error))
        return {EngineErrc::OutputNotWritable, joined(target, " is a folder.")};
    xmlss::FileSink sink;
    TemporaryFile temporary;
    std::string path;
    if (Status created = createTemporary(targetPath, sink, path); !created)
        return created;
    temporary.path = path;
    Status status = xmlss::writeWorkbook(reader, sink);
    const Status synced = sink.close(durability == Durability::Synced);
    if (status && !synced)
        status = synced;
    if (!status)
        return status;
    if (::rename(path.c_str(), target.c_str()) != 0)
        return {EngineErrc::OutputNotWritable, joined(target, ": ", std::strerror(errno))};
    // The folder is not synced: whether a crash keeps the old or the new name, the file behind it is complete,
    // and a sync per file would double the cost of converting many small workbooks.
    temporary.renamed = true;
    return {};
}

} // namespace

Status openWorkbook(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader,
                    std::chrono::steady_clock::time_point deadline, const PasswordPrompt& prompt)
{
    DeadlineScope scope(deadline);
    try
    {
        std::array<unsigned char, 8> head{};
        std::size_t size = 0;
        if (Status status = readHead(path, head, size); !status)
            return status;
        return openByKind(sniff(head.data(), size), path, reader, prompt);
    }
    catch (const std::bad_alloc&)
    {
        reader.reset();
        return {EngineErrc::OutOfMemory, {}};
    }
    catch (const std::exception& e)
    {
        reader.reset();
        return {EngineErrc::DamagedFile, e.what()};
    }
}

Status saveAsSpreadsheetMl(model::WorkbookReader& reader, const std::string& target,
                           std::chrono::steady_clock::time_point deadline, Durability durability)
{
    DeadlineScope scope(deadline);
    try
    {
        return writeTemporaryAndRename(reader, target, durability);
    }
    catch (const std::bad_alloc&)
    {
        return {EngineErrc::OutOfMemory, {}};
    }
    catch (const std::exception& e)
    {
        return {EngineErrc::DamagedFile, e.what()};
    }
}

} // namespace velquin::engine
