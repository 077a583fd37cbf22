// Damaged variants of workbooks: byte-level damage for every file, part-level damage for zip packages (through
// libzip) and record-level damage for compound files (the workbook stream rewritten into a new compound file).
#include "tests/hardening/DamagedFiles.h"

#include "engine/xls/CompoundFile.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <zip.h>

namespace velquin::test {

namespace {

bool isZip(const std::string& bytes)
{
    return bytes.size() >= 4 && bytes.compare(0, 2, "PK") == 0;
}

bool isCompoundFile(const std::string& bytes)
{
    static const char kMagic[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    return bytes.size() >= 512 && std::memcmp(bytes.data(), kMagic, 8) == 0;
}

/// Every part of a package as (name, content), in archive order; empty when it cannot be read.
std::vector<std::pair<std::string, std::string>> zipParts(const std::string& package)
{
    std::vector<std::pair<std::string, std::string>> parts;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(package.data(), package.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive)
    {
        if (source)
            zip_source_free(source);
        return parts;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i)
    {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
            continue;
        std::string content;
        if (zip_file_t* file = zip_fopen_index(archive, index, 0))
        {
            char buffer[16384];
            zip_int64_t got = 0;
            while ((got = zip_fread(file, buffer, sizeof buffer)) > 0)
                content.append(buffer, static_cast<std::size_t>(got));
            zip_fclose(file);
        }
        parts.emplace_back(stat.name, std::move(content));
    }
    zip_discard(archive);
    return parts;
}

/// Every top-level stream of a compound file as (name, content); storages are left out.
std::vector<std::pair<std::string, std::string>> compoundStreams(const std::string& file)
{
    std::vector<std::pair<std::string, std::string>> streams;
    engine::xls::CompoundFile compound;
    if (!compound.open(std::vector<std::uint8_t>(file.begin(), file.end())))
        return streams;
    const auto& entries = compound.entries();
    for (std::size_t i = 1; i < entries.size(); ++i)
    {
        std::unique_ptr<engine::xls::CompoundStream> stream;
        if (entries[i].parent != 0 || !compound.openStream(i, stream))
            continue;
        std::string content(static_cast<std::size_t>(stream->size()), '\0');
        if (stream->read(0, {reinterpret_cast<std::uint8_t*>(content.data()), content.size()}))
            streams.emplace_back(engine::xls::CompoundFile::nameOf(entries[i]), std::move(content));
    }
    return streams;
}

} // namespace

namespace {

/// Offsets of the records of a BIFF stream (each: 2 bytes type, 2 bytes length, the data).
std::vector<std::size_t> recordOffsets(const std::string& stream)
{
    std::vector<std::size_t> offsets;
    std::size_t at = 0;
    while (at + 4 <= stream.size())
    {
        offsets.push_back(at);
        const auto length = static_cast<std::size_t>(static_cast<unsigned char>(stream[at + 2]) |
                                                     (static_cast<unsigned char>(stream[at + 3]) << 8));
        at += 4 + length;
    }
    return offsets;
}

std::size_t recordEnd(const std::string& stream, std::size_t at)
{
    const auto length = static_cast<std::size_t>(static_cast<unsigned char>(stream[at + 2]) |
                                                 (static_cast<unsigned char>(stream[at + 3]) << 8));
    return std::min(stream.size(), at + 4 + length);
}

/// Picks `count` record offsets spread over the stream, the first and last records included.
std::vector<std::size_t> spreadRecords(const std::vector<std::size_t>& offsets, std::size_t count)
{
    std::vector<std::size_t> picked;
    if (offsets.empty())
        return picked;
    for (std::size_t k = 0; k < count; ++k)
    {
        const std::size_t index = count == 1 ? 0 : k * (offsets.size() - 1) / (count - 1);
        if (picked.empty() || picked.back() != offsets[index])
            picked.push_back(offsets[index]);
    }
    return picked;
}

void addByteDamage(const std::string& original, std::mt19937& random, std::vector<DamagedFile>& out)
{
    for (int percent : {1, 10, 50, 90})
    {
        const std::size_t cut = original.size() * static_cast<std::size_t>(percent) / 100;
        out.push_back({"truncated-" + std::to_string(percent) + "pct", original.substr(0, cut)});
    }
    out.push_back({"truncated-last-byte", original.substr(0, original.size() - 1)});
    for (int round = 0; round < 4; ++round)
    {
        std::string bytes = original;
        std::uniform_int_distribution<std::size_t> position(0, bytes.size() - 1);
        for (int k = 0; k < 16; ++k)
            bytes[position(random)] ^= static_cast<char>(1u << (random() % 8));
        out.push_back({"flipped-" + std::to_string(round), std::move(bytes)});
    }
    // A run of bytes set to 0xFF: counts, sizes and sector numbers at their largest.
    std::string bytes = original;
    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random);
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at),
              bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), at + 64)), '\xFF');
    out.push_back({"ones-run", std::move(bytes)});
}

std::string safeName(std::string name)
{
    for (char& c : name)
        if (c == '/' || c == '.' || c == '[' || c == ']' || c == ' ')
            c = '_';
    return name;
}

void addPackageDamage(const std::string& original, std::vector<DamagedFile>& out)
{
    const auto parts = zipParts(original);
    for (std::size_t i = 0; i < parts.size(); ++i)
    {
        auto without = parts;
        without.erase(without.begin() + static_cast<std::ptrdiff_t>(i));
        out.push_back({"removed-" + safeName(parts[i].first), makeZip(without)});
        auto cut = parts;
        cut[i].second.resize(cut[i].second.size() / 2);
        out.push_back({"cut-" + safeName(parts[i].first), makeZip(cut)});
    }
}

void addRecordDamage(const std::string& original, std::vector<DamagedFile>& out)
{
    auto streams = compoundStreams(original);
    auto workbook = std::find_if(streams.begin(), streams.end(),
                                 [](const auto& s) { return s.first == "Workbook" || s.first == "Book"; });
    if (workbook == streams.end())
        return;
    const std::string stream = workbook->second;
    const auto offsets = recordOffsets(stream);
    int k = 0;
    for (std::size_t at : spreadRecords(offsets, 6))
    {
        const std::size_t end = recordEnd(stream, at);
        workbook->second = stream.substr(0, end) + stream.substr(at, end - at) + stream.substr(end);
        out.push_back({"duplicated-record-" + std::to_string(k), makeCompoundFile(streams)});
        // The record claims more bytes than are left in the stream.
        workbook->second = stream;
        workbook->second[at + 2] = '\xFF';
        workbook->second[at + 3] = '\xFF';
        out.push_back({"overlong-record-" + std::to_string(k), makeCompoundFile(streams)});
        ++k;
    }
    workbook->second = stream.substr(0, stream.size() / 2);
    out.push_back({"stream-cut-half", makeCompoundFile(streams)});
}

} // namespace

std::vector<DamagedFile> damagedVariants(const std::string& original, std::uint32_t seed)
{
    std::vector<DamagedFile> out;
    if (original.empty())
        return out;
    std::mt19937 random(seed);
    addByteDamage(original, random, out);
    if (isZip(original))
        addPackageDamage(original, out);
    else if (isCompoundFile(original))
        addRecordDamage(original, out);
    return out;
}

std::vector<std::string> zipPartNames(const std::string& package)
{
    std::vector<std::string> names;
    for (auto& part : zipParts(package))
        names.push_back(std::move(part.first));
    return names;
}

std::string biffStream(const std::string& compoundFile)
{
    for (auto& [name, content] : compoundStreams(compoundFile))
        if (name == "Workbook" || name == "Book")
            return content;
    return {};
}

std::string makeZip(const std::vector<std::pair<std::string, std::string>>& parts)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive)
    {
        if (buffer)
            zip_source_free(buffer);
        return {};
    }
    // The archive would free the buffer source when closed; keep it to read the result.
    zip_source_keep(buffer);
    for (const auto& [name, content] : parts)
    {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0)
        {
            if (source)
                zip_source_free(source);
            continue;
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    }
    std::string bytes;
    if (zip_close(archive) != 0)
    {
        zip_discard(archive);
        zip_source_free(buffer);
        return bytes;
    }
    zip_stat_t stat;
    if (zip_source_stat(buffer, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE) && zip_source_open(buffer) == 0)
    {
        bytes.resize(stat.size);
        const zip_int64_t got = zip_source_read(buffer, bytes.data(), stat.size);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        zip_source_close(buffer);
    }
    zip_source_free(buffer);
    return bytes;
}

std::vector<std::pair<std::string, std::string>> xlsxParts(const std::string& sheetData)
{
    static const char kContentTypes[] =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/>)"
        R"(<Override PartName="/xl/workbook.xml" )"
        R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
        R"(<Override PartName="/xl/worksheets/sheet1.xml" )"
        R"(ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/></Types>)";
    static const char kRootRels[] =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)"
        R"(officeDocument" Target="xl/workbook.xml"/></Relationships>)";
    static const char kWorkbook[] = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                                    R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                                    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
                                    R"(<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)";
    static const char kWorkbookRels[] =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)"
        R"(worksheet" Target="worksheets/sheet1.xml"/></Relationships>)";
    const std::string sheet = R"(<?xml version="1.0" encoding="UTF-8"?>)"
                              R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
                              "<sheetData>" +
                              sheetData + "</sheetData></worksheet>";
    return {{"[Content_Types].xml", kContentTypes},
            {"_rels/.rels", kRootRels},
            {"xl/workbook.xml", kWorkbook},
            {"xl/_rels/workbook.xml.rels", kWorkbookRels},
            {"xl/worksheets/sheet1.xml", sheet}};
}

std::string makeXlsx(const std::string& sheetData)
{
    return makeZip(xlsxParts(sheetData));
}

} // namespace velquin::test
