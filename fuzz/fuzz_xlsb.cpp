// Fuzz target: a binary workbook (.xlsb) from its parts: workbook, styles, shared strings, sheets and comments as
// binary record streams, relationships as XML. The input is a list of parts, each "name\ncontent", separated by
// "\n@@\n"; they are stored uncompressed in a fresh package so mutations reach the records, then the package is
// opened, checked and saved like any workbook.
#include "fuzz/FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>
#include <zip.h>

namespace {

struct Part
{
    std::string name;
    std::string_view content;
};

std::vector<Part> splitParts(std::string_view input)
{
    constexpr std::string_view kSeparator = "\n@@\n";
    std::vector<Part> parts;
    while (!input.empty() && parts.size() < 64)
    {
        auto end = input.find(kSeparator);
        std::string_view chunk = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + kSeparator.size());
        auto newline = chunk.find('\n');
        if (newline == std::string_view::npos || newline == 0)
            continue;
        parts.push_back({std::string(chunk.substr(0, newline)), chunk.substr(newline + 1)});
    }
    return parts;
}

bool writePackage(const std::string& path, const std::vector<Part>& parts)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        return false;
    for (const auto& part : parts)
    {
        zip_source_t* source = zip_source_buffer(archive, part.content.data(), part.content.size(), 0);
        if (!source)
            continue;
        zip_int64_t index = zip_file_add(archive, part.name.c_str(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
        if (index < 0)
        {
            zip_source_free(source);
            continue;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    return zip_close(archive) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xlsb");
    auto parts = splitParts({reinterpret_cast<const char*>(data), size});
    if (parts.empty() || !writePackage(file.path(), parts))
        return 0;
    velquin::fuzz::openCheckAndSave(file.path());
    return 0;
}
