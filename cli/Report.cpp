// JSON Lines for the --report file.
#include "cli/Report.h"

#include "engine/Text.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace velquin::cli {

namespace {

void appendHexEscape(std::string& out, unsigned value)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xF];
}

const char* statusName(JobStatus status)
{
    switch (status)
    {
    case JobStatus::Converted:
        return "converted";
    case JobStatus::Skipped:
        return "skipped";
    case JobStatus::Failed:
        break;
    }
    return "failed";
}

std::string fixedSeconds(double seconds)
{
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, seconds, std::chars_format::fixed, 6);
    return error == std::errc() ? std::string(buffer, end) : "0";
}

} // namespace

std::string jsonString(std::string_view bytes)
{
    std::string out = "\"";
    while (!bytes.empty())
    {
        char32_t code = 0;
        const std::size_t length = engine::decodeUtf8(bytes, code);
        if (length == 0)
        {
            appendHexEscape(out, 0xDC00u + static_cast<unsigned char>(bytes.front()));
            bytes.remove_prefix(1);
            continue;
        }
        if (code == '"' || code == '\\')
            (out += '\\') += static_cast<char>(code);
        else if (code < 0x20 || code == 0x7F)
            appendHexEscape(out, static_cast<unsigned>(code));
        else
            out.append(bytes.substr(0, length));
        bytes.remove_prefix(length);
    }
    return out += '"';
}

std::string reportLine(const Job& job, const JobResult& result)
{
    std::string line = "{\"source\":" + jsonString(job.source);
    line += ",\"output\":" + jsonString(job.output);
    line += ",\"status\":\"" + std::string(statusName(result.status)) + '"';
    line += ",\"error\":" + std::to_string(result.number);
    line += ",\"description\":" + jsonString(result.description);
    line += ",\"seconds\":" + fixedSeconds(result.seconds);
    line += ",\"bytes_in\":" + std::to_string(result.bytesIn);
    line += ",\"bytes_out\":" + std::to_string(result.bytesOut);
    return line += "}\n";
}

Report::~Report()
{
    if (m_ownsFd)
        ::close(m_fd);
}

bool Report::open(const std::string& path, std::string& error)
{
    if (path == "-")
    {
        m_fd = STDOUT_FILENO;
        return true;
    }
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    if (m_fd < 0)
        return error = path + ": " + std::strerror(errno), false;
    m_ownsFd = true;
    return true;
}

void Report::write(const Job& job, const JobResult& result)
{
    const std::string line = reportLine(job, result);
    std::string_view rest = line;
    while (!rest.empty())
    {
        const ssize_t written = ::write(m_fd, rest.data(), rest.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
        {
            m_complete = false;
            return;
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}

} // namespace velquin::cli
