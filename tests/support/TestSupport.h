// Helpers shared by all tests: a temporary folder per test and access to the shared corpus.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquin::test {

/// A fresh folder under the system's temporary directory, removed with everything in it on destruction.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    /// path() / name as a string.
    std::string file(std::string_view name) const;
    /// Writes bytes to path() / name (creating sub-folders) and returns the full path.
    std::string write(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path m_path;
};

/// Reads a whole file as bytes; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

/// The shared folder (corpus, tools, bench) when it is present next to the repository, else nothing.
std::optional<std::filesystem::path> sharedDir();

/// Full path of a workbook of the shared corpus, or nothing when the corpus is missing.
std::optional<std::filesystem::path> corpusFile(std::string_view name);

/// Full path of a workbook the test needs from a corpus that is present: when the file is missing, the test fails
/// here, naming it (call VELQUIN_REQUIRE_CORPUS() first so that a clone without the corpus skips instead).
std::string requiredCorpusFile(std::string_view name);

/// Sources of the shared corpus whose manifest format is one of formats (such as "xls-biff8"), as full paths;
/// empty when the corpus is missing.
std::vector<std::filesystem::path> corpusSources(std::initializer_list<std::string_view> formats);

/// The build folder (where velquin-convert lives), from the test environment.
std::filesystem::path buildDir();

} // namespace velquin::test

/// Skips the current test when the shared corpus is not there (a fresh clone has none).
#define VELQUIN_REQUIRE_CORPUS()                                                                                       \
    do                                                                                                                 \
    {                                                                                                                  \
        if (!::velquin::test::sharedDir())                                                                             \
            GTEST_SKIP() << "shared corpus not present";                                                               \
    } while (false)
