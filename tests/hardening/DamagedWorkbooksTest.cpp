// Damaged variants of corpus workbooks through velquin-convert: every one converts or fails with an error, never a
// signal, a sanitizer report, a run past the time limit or a partial output. VELQUIN_DAMAGED_SET=all takes every
// workbook of the corpus instead of the small sample (about a minute; VELQUIN_CONVERT=path runs a sanitizer build).
#include "tests/hardening/ConverterRun.h"
#include "tests/hardening/DamagedFiles.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

namespace velquin::test {
namespace {

namespace fs = std::filesystem;

constexpr double kTimeoutSeconds = 10;
constexpr long kPeakMemoryKb = 200 * 1024;

bool isWorkbook(const fs::path& path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".xls" || ext == ".xlsx" || ext == ".xlsm" || ext == ".xlsb";
}

std::vector<fs::path> sources()
{
    std::vector<fs::path> paths;
    const char* set = std::getenv("VELQUIN_DAMAGED_SET");
    if (set && std::string(set) == "all")
    {
        for (const auto& entry : fs::directory_iterator(*sharedDir() / "corpus"))
            if (entry.is_regular_file() && isWorkbook(entry.path()))
                paths.push_back(entry.path());
        std::sort(paths.begin(), paths.end());
        return paths;
    }
    // One package of XML parts, one of binary parts, one BIFF8 and one BIFF5 workbook, a web page and an XML
    // Spreadsheet, all small, and two encrypted ones (RC4 .xls, agile package) that the password file opens.
    for (const char* name : {"defined_names_simple.xlsx", "comments_stress_test.xlsb", "merge_cells.xls",
                             "biff5-number_format_entities.xls", "crlf-html.xls", "comments_stress_test-xmlss.xls",
                             "encrypted/password_2002_40_972000.xls", "encrypted/example_password.xlsx"})
        if (auto path = corpusFile(name); path && fs::exists(*path))
            paths.push_back(*path);
    return paths;
}

std::string stemOf(const fs::path& path)
{
    std::string stem = path.stem().string();
    stem.erase(std::remove_if(stem.begin(), stem.end(), [](char c) { return c == '.' || c == ' '; }), stem.end());
    return stem;
}

TEST(DamagedWorkbooks, ConvertOrFailCleanlyWithinTheLimits)
{
    VELQUIN_REQUIRE_CORPUS();
    const auto workbooks = sources();
    ASSERT_FALSE(workbooks.empty());
    TempDir dir;
    const std::string passwords = dir.write("passwords.txt", "password\nPassword1234_\n");
    std::size_t files = 0, converted = 0, failed = 0;
    long peakKb = 0;
    double slowest = 0;
    std::uint32_t seed = 1;
    for (const auto& workbook : workbooks)
    {
        SCOPED_TRACE(workbook.string());
        // "1900.xls" and "1900.xlsx" give different names: the extension is part of them.
        const std::string base = stemOf(workbook) + "_" + workbook.extension().string().substr(1);
        const fs::path in = dir.path() / ("in-" + base);
        const fs::path out = dir.path() / ("out-" + base);
        const auto variants = damagedVariants(readFile(workbook), seed++);
        ASSERT_GE(variants.size(), 10u);
        std::vector<std::string> names;
        for (const auto& variant : variants)
        {
            names.push_back(base + "-" + variant.name);
            dir.write(in.filename().string() + "/" + names.back() + workbook.extension().string(), variant.bytes);
        }
        const double limit = kTimeoutSeconds * static_cast<double>(variants.size()) + 10;
        const ConverterRun run = runConverter({"--timeout", std::to_string(static_cast<int>(kTimeoutSeconds)),
                                               "--password-file", passwords, "-d", out.string(), in.string()},
                                              limit);
        ASSERT_FALSE(run.overTime) << "still running after " << limit << " s";
        ASSERT_TRUE(run.exited) << "ended by signal " << run.signal << "\n" << run.errorOutput;
        EXPECT_TRUE(run.exitCode == 0 || run.exitCode == 1) << run.exitCode << "\n" << run.errorOutput;
        EXPECT_EQ(run.errorOutput.find("Sanitizer"), std::string::npos) << run.errorOutput;
        EXPECT_EQ(run.errorOutput.find("runtime error"), std::string::npos) << run.errorOutput;
        EXPECT_LT(run.peakRssKb, kPeakMemoryKb);
        peakKb = std::max(peakKb, run.peakRssKb);
        slowest = std::max(slowest, run.seconds);

        std::set<std::string> failures;
        for (const auto& source : failedSources(run.errorOutput))
            failures.insert(fs::path(source).stem().string());
        for (const auto& name : names)
        {
            const fs::path output = out / (name + ".xml");
            ++files;
            if (failures.count(name))
            {
                ++failed;
                EXPECT_FALSE(fs::exists(output)) << name << " failed but left " << output;
            }
            else
            {
                ++converted;
                EXPECT_TRUE(isWellFormedXml(output.string())) << name << " reported no error; " << output;
            }
        }
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(out, error))
            EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
        EXPECT_EQ(run.exitCode == 1, failures.size() > 0);
    }
    std::printf("damaged set: %zu workbooks, %zu files, %zu converted, %zu failed with an error, peak %ld KB, "
                "slowest run %.2f s\n",
                workbooks.size(), files, converted, failed, peakKb, slowest);
}

} // namespace
} // namespace velquin::test
