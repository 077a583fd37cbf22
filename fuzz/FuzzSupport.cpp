// Scratch files, the checking sink and the compound files shared by the fuzz targets.
#include "fuzz/FuzzSupport.h"

#include "engine/Engine.h"
#include "tests/support/CompoundFileBuilder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <expat.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace velquin::fuzz {

namespace model = engine::model;

ScratchFile::ScratchFile(std::string_view suffix)
{
    const char* tmp = std::getenv("TMPDIR");
    m_path =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/velquin-fuzz-" + std::to_string(::getpid()) + std::string(suffix);
}

ScratchFile::~ScratchFile()
{
    std::remove(m_path.c_str());
}

bool ScratchFile::write(std::string_view bytes) const
{
    std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

void contractBroken(const char* what)
{
    std::fprintf(stderr, "velquin-fuzz: reader broke its contract: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

namespace {

bool isUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size())
    {
        auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        std::size_t n = 0;
        std::uint32_t cp = 0;
        if ((c >> 5) == 0x6)
            n = 1, cp = c & 0x1Fu;
        else if ((c >> 4) == 0xE)
            n = 2, cp = c & 0x0Fu;
        else if ((c >> 3) == 0x1E)
            n = 3, cp = c & 0x07u;
        else
            return false;
        if (s.size() - i <= n)
            return false;
        for (std::size_t k = 1; k <= n; ++k)
        {
            auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        static constexpr std::uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}

void requireUtf8(std::string_view s, const char* what)
{
    if (!isUtf8(s))
        contractBroken(what);
}

bool inSheet(std::uint32_t row, std::uint32_t col)
{
    return row < model::kMaxRows && col < model::kMaxColumns;
}

void checkRange(std::uint32_t r1, std::uint32_t c1, std::uint32_t r2, std::uint32_t c2, const char* what)
{
    if (!inSheet(r1, c1) || !inSheet(r2, c2) || r1 > r2 || c1 > c2)
        contractBroken(what);
}

void checkRuns(std::span<const model::TextRun> runs, const char* what)
{
    for (const auto& run : runs)
    {
        requireUtf8(run.text, what);
        requireUtf8(run.font.name, what);
    }
}

class CheckingSink : public model::SheetSink
{
public:
    explicit CheckingSink(std::size_t styleCount) : m_styleCount(styleCount) {}

    void beginSheet(const model::SheetHeader& header) override
    {
        if (m_begun)
            contractBroken("beginSheet called twice");
        m_begun = true;
        requireUtf8(header.name, "sheet name is not UTF-8");
        std::int64_t lastColumn = -1;
        for (const auto& c : header.columns)
        {
            if (c.first > c.last || c.last >= model::kMaxColumns || static_cast<std::int64_t>(c.first) <= lastColumn)
                contractBroken("column ranges out of order, overlapping or past the last column");
            lastColumn = c.last;
            checkStyle(c.style);
        }
        for (const auto& m : header.merges)
            checkRange(m.firstRow, m.firstCol, m.lastRow, m.lastCol, "merged range reversed or off the sheet");
        for (const auto& h : header.hyperlinks)
        {
            checkRange(h.firstRow, h.firstCol, h.lastRow, h.lastCol, "hyperlink range reversed or off the sheet");
            requireUtf8(h.href, "hyperlink target is not UTF-8");
            requireUtf8(h.screenTip, "hyperlink tip is not UTF-8");
        }
        for (const auto& c : header.comments)
        {
            if (!inSheet(c.row, c.col))
                contractBroken("comment off the sheet");
            requireUtf8(c.author, "comment author is not UTF-8");
            checkRuns(c.text, "comment text is not UTF-8");
        }
    }

    void row(const model::RowInfo& row) override
    {
        if (!m_begun || m_ended)
            contractBroken("row outside beginSheet/endSheet");
        if (row.row >= model::kMaxRows)
            contractBroken("row past the last row");
        if (static_cast<std::int64_t>(row.row) <= m_lastRow || static_cast<std::int64_t>(row.row) <= m_lastCellRow)
            contractBroken("rows out of order, or a row announced after its cells");
        checkStyle(row.style);
        m_lastRow = row.row;
    }

    void cell(const model::Cell& cell) override
    {
        if (!m_begun || m_ended)
            contractBroken("cell outside beginSheet/endSheet");
        if (!inSheet(cell.row, cell.col))
            contractBroken("cell off the sheet");
        std::int64_t r = cell.row, c = cell.col;
        if (r < m_lastCellRow || (r == m_lastCellRow && c <= m_lastCellCol))
            contractBroken("cells out of row-major order or repeated");
        m_lastCellRow = r;
        m_lastCellCol = c;
        checkStyle(cell.style);
        requireUtf8(cell.text, "cell text is not UTF-8");
        requireUtf8(cell.formula, "formula is not UTF-8");
        requireUtf8(cell.arrayRange, "array range is not UTF-8");
        checkRuns(cell.runs, "rich text run is not UTF-8");
        // Touch every byte the views point at, so a view into a freed buffer shows up here.
        for (char ch : cell.text)
            m_sum += static_cast<unsigned char>(ch);
        for (char ch : cell.formula)
            m_sum += static_cast<unsigned char>(ch);
    }

    void endSheet(const model::SheetOptions& options) override
    {
        if (!m_begun || m_ended)
            contractBroken("endSheet without beginSheet, or twice");
        m_ended = true;
        for (const auto& s : options.selections)
            if (!inSheet(s.activeRow, s.activeCol))
                contractBroken("active cell off the sheet");
    }

    unsigned sum() const { return m_sum; }

private:
    void checkStyle(int style) const
    {
        if (style < -1 || (style >= 0 && static_cast<std::size_t>(style) >= m_styleCount))
            contractBroken("style index out of range");
    }

    std::size_t m_styleCount;
    bool m_begun = false, m_ended = false;
    std::int64_t m_lastRow = -1, m_lastCellRow = -1, m_lastCellCol = -1;
    unsigned m_sum = 0;
};

} // namespace

// Keeps the checksum of touched bytes alive, so the compiler cannot drop the reads.
volatile unsigned g_touched = 0;

void checkInfo(const model::WorkbookInfo& info)
{
    for (const auto& s : info.sheets)
        requireUtf8(s.name, "sheet name is not UTF-8");
    for (const auto& n : info.names)
    {
        requireUtf8(n.name, "defined name is not UTF-8");
        requireUtf8(n.refersTo, "defined name formula is not UTF-8");
        if (n.sheet < -1 || n.sheet >= static_cast<int>(info.sheets.size()))
            contractBroken("defined name local to a sheet that does not exist");
    }
    if (!info.sheets.empty() && (info.activeSheet < 0 || info.activeSheet >= static_cast<int>(info.sheets.size())))
        contractBroken("active sheet does not exist");
}

void readAllSheets(model::WorkbookReader& reader)
{
    const auto& info = reader.info();
    checkInfo(info);
    for (std::size_t i = 0; i < info.sheets.size(); ++i)
    {
        if (info.sheets[i].kind != model::SheetKind::Worksheet)
            continue;
        CheckingSink checking(info.cellStyles.size());
        if (!reader.readSheet(static_cast<int>(i), checking))
            continue;
        g_touched = g_touched + checking.sum();
    }
}

namespace {

bool isWellFormedXml(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser)
        return true;
    bool ok = true;
    char buffer[65536];
    while (ok)
    {
        in.read(buffer, sizeof buffer);
        const auto got = in.gcount();
        const bool last = got < static_cast<std::streamsize>(sizeof buffer);
        ok = XML_Parse(parser, buffer, static_cast<int>(got), last) == XML_STATUS_OK;
        if (last)
            break;
    }
    XML_ParserFree(parser);
    return ok;
}

/// True when the folder holds a file other than the scratch input (a temporary file left by a failed save).
bool strayFiles(const std::filesystem::path& folder, const std::string& prefix, const std::string& input)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    {
        const std::string name = entry.path().filename().string();
        if (entry.path().string() != input && name.find(prefix) != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

void checkAndSave(model::WorkbookReader& reader, const std::string& path)
{
    readAllSheets(reader);
    const std::filesystem::path input(path);
    const std::string outName = input.filename().string() + ".out.xml";
    const std::string out = (input.parent_path() / outName).string();
    std::remove(out.c_str());
    if (engine::saveAsSpreadsheetMl(reader, out))
    {
        if (!isWellFormedXml(out))
            contractBroken("saved SpreadsheetML is not well-formed XML");
        std::remove(out.c_str());
    }
    else if (std::filesystem::exists(out))
        contractBroken("a failed save left its target behind");
    if (strayFiles(input.parent_path(), outName, path))
        contractBroken("a save left a temporary file behind");
}

void openCheckAndSave(const std::string& path)
{
    std::unique_ptr<model::WorkbookReader> reader;
    if (!engine::openWorkbook(path, reader))
        return;
    if (!reader)
        contractBroken("openWorkbook succeeded without a reader");
    checkAndSave(*reader, path);
}

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

bool writePartsPackage(const std::string& path, std::string_view input)
{
    const auto parts = splitParts(input);
    return !parts.empty() && writePackage(path, parts);
}

std::string makeCompoundFile(std::string_view streamName, std::string_view stream)
{
    // Streams under 4096 bytes would live in the mini stream; padding keeps the file to regular sectors only.
    std::string data(stream);
    if (data.size() < 4096)
        data.resize(4096, '\0');
    try
    {
        return test::makeCompoundFile({{std::string(streamName), std::move(data)}});
    }
    catch (const std::length_error&)
    {
        return {}; // more than the header's FAT sectors can list: an empty file, which readers refuse
    }
}

} // namespace velquin::fuzz
