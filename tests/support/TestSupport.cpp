// Temporary folders and corpus lookup for the tests.
#include "tests/support/TestSupport.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <unistd.h>

namespace velquin::test {

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;)
    {
        auto name = "velquin-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                    std::to_string(rd() % 100000);
        auto candidate = fs::temp_directory_path() / name;
        std::error_code ec;
        if (fs::create_directory(candidate, ec))
        {
            m_path = candidate;
            return;
        }
    }
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable so removal succeeds.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::file(std::string_view name) const
{
    return (m_path / fs::path(std::string(name))).string();
}

std::string TempDir::write(std::string_view name, std::string_view bytes) const
{
    fs::path p = m_path / fs::path(std::string(name));
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return p.string();
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// CTest hands a test only the first of several environment variables given through gtest_discover_tests, so the
// folders configured at build time are the fallback when a variable is missing.
namespace {

const char* setting(const char* name, const char* configured)
{
    const char* env = std::getenv(name);
    if (env && *env)
        return env;
    return configured && *configured ? configured : nullptr;
}

} // namespace

std::optional<fs::path> sharedDir()
{
    const char* env = setting("VELQUIN_SHARED_DIR", VELQUIN_TEST_SHARED_DIR);
    if (!env)
        return std::nullopt;
    fs::path p(env);
    std::error_code ec;
    if (!fs::is_directory(p / "corpus", ec))
        return std::nullopt;
    return p;
}

std::optional<fs::path> corpusFile(std::string_view name)
{
    auto dir = sharedDir();
    if (!dir)
        return std::nullopt;
    fs::path p = *dir / "corpus" / fs::path(std::string(name));
    std::error_code ec;
    if (!fs::exists(p, ec))
        return std::nullopt;
    return p;
}

std::string requiredCorpusFile(std::string_view name)
{
    if (auto path = corpusFile(name))
        return path->string();
    ADD_FAILURE() << name << " is missing from the shared corpus";
    return std::string(name);
}

std::vector<fs::path> corpusSources(std::initializer_list<std::string_view> formats)
{
    std::vector<fs::path> sources;
    auto dir = sharedDir();
    if (!dir)
        return sources;
    std::istringstream manifest(readFile(*dir / "corpus" / "MANIFEST.tsv"));
    std::string line;
    std::getline(manifest, line); // header
    while (std::getline(manifest, line))
    {
        std::istringstream row(line);
        std::string source, expected, format;
        std::getline(row, source, '\t');
        std::getline(row, expected, '\t');
        std::getline(row, format, '\t');
        for (auto f : formats)
            if (format == f)
                sources.push_back(*dir / "corpus" / source);
    }
    return sources;
}

fs::path buildDir()
{
    const char* env = setting("VELQUIN_BUILD_DIR", VELQUIN_TEST_BUILD_DIR);
    return env ? fs::path(env) : fs::current_path();
}

} // namespace velquin::test
