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

Status readWholeFile(const std::string& path, std::string& bytes)
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
    if (static_cast<std::uint64_t>(info.st_size) > kMaxTextFileBytes)
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


std::string_view firstMarkup(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
        ++at;
    return text.substr(at);
}

} // namespace

Status openTextBytes(std::string_view bytes, std::string_view name, std::unique_ptr<model::WorkbookReader>& reader)
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
    // A declaration read as ASCII cannot be true when it names a 16- or 32-bit encoding (browsers ignore it too).
    if (declared.rfind("utf-16", 0) == 0 || declared.rfind("utf-32", 0) == 0 || declared == "unicode")
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
        status = readHtml(markup, name, localeDateOrder(), *workbook);
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
    return openTextBytes(bytes, std::filesystem::path(path).stem().string(), reader);
}

} // namespace velquin::engine::text
