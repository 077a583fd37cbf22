// Files that are not workbooks: which kind of text, then the reader for it.
#include "engine/text/TextReader.h"

#include "engine/Deadline.h"
#include "engine/text/DelimitedTextReader.h"
#include "engine/text/HtmlReader.h"
#include "engine/text/MemoryWorkbook.h"
#include "engine/text/TextDecoding.h"
#include "engine/text/XmlssReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace velquin::engine::text {

namespace {

constexpr std::size_t kTextSample = 65536;

// Text has no NUL and few control characters; anything else is some binary format.
bool looksLikeText(std::string_view text)
{
    std::size_t controls = 0;
    const std::string_view sample = text.substr(0, kTextSample);
    for (char c : sample)
    {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0)
            return false;
        if (byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n' && byte != '\f' && byte != 0x1A)
            ++controls;
    }
    return controls * 100 <= sample.size();
}

Status readWholeFile(const std::string& path, std::string& bytes, std::size_t maxBytes = kMaxTextFileBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {EngineErrc::FileUnreadable, path + ": " + std::strerror(errno)};
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || info.st_size < 0)
    {
        ::close(fd);
        return {EngineErrc::FileUnreadable, path};
    }
    if (static_cast<std::uint64_t>(info.st_size) > maxBytes)
    {
        ::close(fd);
        return {EngineErrc::LimitExceeded, "a text file larger than 256 MB"};
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    // A binary file is refused after its first block instead of after reading all of it.
    std::size_t done = 0;
    const std::size_t head = std::min<std::size_t>(bytes.size(), kTextSample);
    while (done < head)
    {
        const ssize_t got = ::read(fd, bytes.data() + done, head - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    std::size_t markLength = 0;
    if (byteOrderMark(std::string_view(bytes).substr(0, done), markLength).empty() &&
        !looksLikeText(std::string_view(bytes).substr(0, done)))
    {
        ::close(fd);
        bytes.resize(done);
        return {};
    }
    while (done < bytes.size())
    {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(done);
    return {};
}

// A declaration read as ASCII cannot be true when it names a 16- or 32-bit encoding (browsers ignore it too).
bool wideEncoding(std::string_view declared)
{
    return declared.rfind("utf-16", 0) == 0 || declared.rfind("utf-32", 0) == 0 || declared == "unicode";
}

std::string percentDecoded(std::string_view text)
{
    const auto hex = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 && hex(text[i + 2]) >= 0)
        {
            decoded += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        }
        else
            decoded += text[i] == '\\' ? '/' : text[i];
    }
    if (const std::size_t fragment = decoded.find_first_of("#?"); fragment != std::string::npos)
        decoded.resize(fragment);
    return decoded;
}

/// A link's path inside the page's folder: percent escapes decoded, "\\" read as "/", relative to the folder of the
/// linking document. False for anything that could leave the folder: an absolute path, a drive or scheme, "..".
bool linkPath(std::string_view href, std::string_view base, std::string& path)
{
    const std::string decoded = percentDecoded(href);
    if (decoded.empty() || decoded.front() == '/' || decoded.find(':') != std::string::npos ||
        decoded.find('\0') != std::string::npos)
        return false;
    std::string joined = percentDecoded(base);
    const std::size_t slash = joined.rfind('/');
    joined.resize(slash == std::string::npos ? 0 : slash + 1);
    joined += decoded;
    path.clear();
    for (std::size_t at = 0; at <= joined.size();)
    {
        std::size_t end = joined.find('/', at);
        if (end == std::string::npos)
            end = joined.size();
        const std::string_view part = std::string_view(joined).substr(at, end - at);
        if (part == "..")
            return false;
        if (!part.empty() && part != ".")
            path.append(path.empty() ? "" : "/").append(part);
        at = end + 1;
    }
    return !path.empty();
}

/// Reads the files a page links, from the page's folder or below it. The folder and the file are both resolved
/// through their symbolic links before the file is read, so a link cannot lead out of the folder that way either.
class PageFolder
{
public:
    explicit PageFolder(const std::string& pagePath)
    {
        std::error_code error;
        m_root = std::filesystem::canonical(std::filesystem::path(pagePath).parent_path().empty()
                                                ? std::filesystem::path(".")
                                                : std::filesystem::path(pagePath).parent_path(),
                                            error);
        if (error)
            m_root.clear();
    }

    Status load(std::string_view href, std::string_view base, std::size_t maxBytes, std::string& text)
    {
        std::string relative;
        if (m_root.empty() || !linkPath(href, base, relative))
            return {EngineErrc::DamagedFile, "the link leads out of the page's folder"};
        std::error_code error;
        const std::filesystem::path file = std::filesystem::canonical(m_root / relative, error);
        if (error)
            return {EngineErrc::FileNotFound, "the file is missing"};
        const std::filesystem::path inside = file.lexically_relative(m_root);
        if (inside.empty() || *inside.begin() == ".." || !std::filesystem::is_regular_file(file, error))
            return {EngineErrc::DamagedFile, "the link leads out of the page's folder"};
        std::string bytes;
        if (Status status = readWholeFile(file.string(), bytes, maxBytes); !status)
            return status.code() == EngineErrc::LimitExceeded ? status
                                                              : Status{EngineErrc::FileUnreadable, "it cannot be read"};
        std::size_t markLength = 0;
        const bool marked = !byteOrderMark(bytes, markLength).empty();
        if (!marked && !looksLikeText(bytes))
            return {EngineErrc::DamagedFile, "it is not a text file"};
        std::string declared;
        if (!marked)
        {
            declared = bytes.rfind("@charset \"", 0) == 0 ? bytes.substr(10, bytes.find('"', 10) - 10).substr(0, 64)
                                                          : declaredHtmlCharset(bytes);
            std::transform(declared.begin(), declared.end(), declared.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            // A style sheet that declares nothing is in the charset of the page linking it, as browsers read it.
            if (const auto page = m_charsets.find(std::string(base)); declared.empty() && page != m_charsets.end())
                declared = page->second;
            if (wideEncoding(declared))
                declared.clear();
        }
        std::string used;
        const Status status = decodeText(bytes, declared, text, &used);
        if (status && base.empty() && m_charsets.size() < kMaxLinkedSheets)
            m_charsets.emplace(href, used);
        return status;
    }

private:
    std::filesystem::path m_root;
    std::map<std::string, std::string, std::less<>> m_charsets; ///< of the pages read, by their link
};

std::string_view firstMarkup(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    return text.substr(at);
}

} // namespace

Status openTextBytes(std::string_view bytes, std::string_view name, std::unique_ptr<model::WorkbookReader>& reader,
                     const PageLoader& loader)
{
    reader.reset();
    std::size_t markLength = 0;
    const bool marked = !byteOrderMark(bytes, markLength).empty();
    if (!marked && !looksLikeText(bytes))
        return {EngineErrc::NotAWorkbook, "It is neither an Excel 97-2003 nor an Excel 2007 or later workbook."};
    // Declarations are ASCII in every encoding a file without a byte order mark can use.
    const std::string_view plain = firstMarkup(bytes.substr(markLength));
    std::string declared;
    if (!marked)
        declared = plain.rfind("<?xml", 0) == 0 ? declaredXmlCharset(plain) : declaredHtmlCharset(bytes);
    if (wideEncoding(declared))
        declared.clear();
    std::string text;
    if (Status status = decodeText(bytes, declared, text); !status)
        return status;
    if (marked && !looksLikeText(text))
        return {EngineErrc::NotAWorkbook, "It is neither an Excel 97-2003 nor an Excel 2007 or later workbook."};
    auto workbook = std::make_unique<MemoryWorkbook>();
    const std::string_view markup = firstMarkup(text);
    Status status;
    if (markup.rfind("<?xml", 0) == 0 && looksLikeXmlSpreadsheet(markup))
        status = readXmlSpreadsheet(markup, *workbook);
    else if (markup.rfind("<?xml", 0) == 0 && !looksLikeHtml(markup.substr(markup.find("?>") + 2)))
        return {EngineErrc::NotAWorkbook, "It is an XML file but no XML Spreadsheet."};
    else if (looksLikeHtml(markup) || (markup.rfind("<?xml", 0) == 0))
        status = readHtml(markup, name, localeDateOrder(), *workbook, loader);
    else
        status = readDelimitedText(text, name, localeDateOrder(), *workbook);
    if (!status)
        return status;
    addDefaultStyles(workbook->workbook);
    reader = std::move(workbook);
    return {};
}

Status openTextFile(const std::string& path, std::unique_ptr<model::WorkbookReader>& reader)
{
    reader.reset();
    std::string bytes;
    if (Status status = readWholeFile(path, bytes); !status)
        return status;
    if (Status status = checkDeadline(); !status)
        return status;
    PageFolder folder(path);
    const PageLoader loader = [&folder](std::string_view href, std::string_view base, std::size_t maxBytes,
                                        std::string& text) { return folder.load(href, base, maxBytes, text); };
    return openTextBytes(bytes, std::filesystem::path(path).stem().string(), reader, loader);
}

} // namespace velquin::engine::text
