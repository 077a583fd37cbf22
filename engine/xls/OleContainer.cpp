// Compound-file access through libgsf.
#include "engine/xls/OleContainer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-input.h>
#include <gsf/gsf-utils.h>

namespace velquin::engine::xls {

namespace {

GsfInput* asInput(void* p)
{
    return static_cast<GsfInput*>(p);
}

void ignoreLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

/// Sets libgsf up once per process: gsf_init registers GObject types and is not safe to call again, least of all
/// from several conversions running at once. libgsf also reports damaged compound files on stderr (some messages
/// without a log domain) as well as through its results; the results are what we turn into errors, so its messages
/// would only repeat them in the middle of a command's output.
void initLibgsf()
{
    static const bool done = [] {
        gsf_init();
        auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_MESSAGE);
        g_log_set_handler("libgsf:msole", levels, ignoreLog, nullptr);
        g_log_set_handler("libgsf", levels, ignoreLog, nullptr);
        g_log_set_handler(nullptr, levels, ignoreLog, nullptr);
        return true;
    }();
    (void)done;
}

bool hasCompoundFileSignature(const std::string& path)
{
    static constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    unsigned char head[8] = {};
    std::size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return n == sizeof head && std::equal(head, head + 8, kSignature);
}

} // namespace

OleStream::OleStream(void* gsfInput) : m_input(gsfInput)
{
    gsf_off_t s = gsf_input_size(asInput(m_input));
    m_size = s > 0 ? static_cast<std::uint64_t>(s) : 0;
}

OleStream::~OleStream()
{
    g_object_unref(asInput(m_input));
}

bool OleStream::read(std::uint64_t offset, std::span<std::uint8_t> out)
{
    if (offset > m_size || out.size() > m_size - offset)
        return false;
    if (out.empty())
        return true;
    GsfInput* in = asInput(m_input);
    if (gsf_input_seek(in, static_cast<gsf_off_t>(offset), G_SEEK_SET))
        return false;
    return gsf_input_read(in, out.size(), out.data()) != nullptr;
}

OleContainer::~OleContainer()
{
    if (m_file)
        g_object_unref(static_cast<GsfInfile*>(m_file));
}

Status OleContainer::open(const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {EngineErrc::FileNotFound, path};
    // The allocation is checked first: libgsf reads the directory tree recursively, so a hostile tree must be
    // refused before libgsf sees it.
    if (hasCompoundFileSignature(path))
        if (Status st = m_allocation.load(path); !st)
            return st;
    initLibgsf();
    GError* err = nullptr;
    GsfInput* input = gsf_input_stdio_new(path.c_str(), &err);
    if (!input)
    {
        if (err)
            g_error_free(err);
        return {EngineErrc::FileUnreadable, path};
    }
    GsfInfile* file = gsf_infile_msole_new(input, &err);
    g_object_unref(input);
    if (!file)
    {
        std::string why = err && err->message ? err->message : "not a compound file";
        if (err)
            g_error_free(err);
        if (hasCompoundFileSignature(path))
            return {EngineErrc::DamagedFile, "The compound file is damaged (" + why + ")."};
        return {EngineErrc::NotAWorkbook, "The file is not a compound file (" + why + ")."};
    }
    m_file = file;
    return {};
}

std::unique_ptr<OleStream> OleContainer::stream(const std::string& name) const
{
    if (!m_file)
        return nullptr;
    GsfInfile* file = static_cast<GsfInfile*>(m_file);
    int n = gsf_infile_num_children(file);
    for (int i = 0; i < n; ++i)
    {
        const char* childName = gsf_infile_name_by_index(file, i);
        if (!childName || g_ascii_strcasecmp(childName, name.c_str()) != 0)
            continue;
        GsfInput* child = gsf_infile_child_by_index(file, i);
        if (!child)
            return nullptr;
        if (GSF_IS_INFILE(child) && gsf_infile_num_children(GSF_INFILE(child)) >= 0)
        {
            g_object_unref(child); // a storage, not a stream
            return nullptr;
        }
        return std::make_unique<OleStream>(child);
    }
    return nullptr;
}

Status OleContainer::checkSectors(const std::string& name)
{
    return m_allocation.claimStream(name);
}

std::vector<std::uint8_t> OleContainer::readAll(const std::string& name, std::size_t maxBytes)
{
    auto s = stream(name);
    if (!s || s->size() > maxBytes || !checkSectors(name))
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(s->size()));
    if (!s->read(0, bytes))
        return {};
    return bytes;
}

} // namespace velquin::engine::xls
