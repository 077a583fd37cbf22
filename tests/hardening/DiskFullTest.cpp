// A target folder that fills up while the output is written: the converter reports the full disk (1009) and exits
// 1, the existing output file is kept as it was, and no temporary file stays behind.
#include "tests/hardening/ConverterRun.h"
#include "tests/hardening/DamagedFiles.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

namespace velquin::test {
namespace {

namespace fs = std::filesystem;

constexpr char kOldOutput[] = "<?xml version=\"1.0\"?><Workbook>the previous conversion</Workbook>";

/// A workbook whose SpreadsheetML is a few hundred KB.
std::string largeWorkbook()
{
    std::string rows;
    for (int r = 1; r <= 400; ++r)
    {
        rows += "<row r=\"" + std::to_string(r) + "\">";
        for (char c = 'A'; c <= 'H'; ++c)
            rows += std::string("<c r=\"") + c + std::to_string(r) +
                    "\" t=\"inlineStr\"><is><t>some text to fill the disk</t></is></c>";
        rows += "</row>";
    }
    return makeXlsx(rows);
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void expectDiskFullReportedAndOldOutputKept(const ConverterRun& run, const fs::path& target)
{
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.exitCode, 1) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find(": 1009: "), std::string::npos) << run.errorOutput;
    EXPECT_EQ(readFile(target), kOldOutput);
    EXPECT_EQ(namesIn(target.parent_path()), std::vector<std::string>{target.filename().string()});
}

TEST(DiskFull, WriteFailureInjectedByAFileSizeLimit)
{
    TempDir dir;
    const std::string source = dir.write("in/big.xlsx", largeWorkbook());
    const std::string target = dir.write("out/big.xml", kOldOutput);
    // RLIMIT_FSIZE makes writes past 64 KB fail with EFBIG, as a full disk fails them with ENOSPC.
    const ConverterRun run = runConverter({source, target}, 60, 64 * 1024);
    expectDiskFullReportedAndOldOutputKept(run, target);

    // With room to write, the same workbook converts and replaces the old output.
    const ConverterRun roomy = runConverter({source, target}, 60);
    EXPECT_EQ(roomy.exitCode, 0) << roomy.errorOutput;
    EXPECT_GT(fs::file_size(target), 64u * 1024);
}

/// A 64 KB tmpfs mounted for the test; mounted() is false without the right to mount.
class SmallFileSystem
{
public:
    explicit SmallFileSystem(const fs::path& at) : m_at(at)
    {
        fs::create_directories(at);
        m_mounted = ::geteuid() == 0 && ::mount("velquin-test", at.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_at.c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;
    bool mounted() const { return m_mounted; }

private:
    fs::path m_at;
    bool m_mounted = false;
};

TEST(DiskFull, SmallFileSystemFillsUp)
{
    TempDir dir;
    const std::string source = dir.write("big.xlsx", largeWorkbook());
    SmallFileSystem small(dir.path() / "small");
    if (!small.mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    const std::string target = dir.write("small/big.xml", kOldOutput);
    const ConverterRun run = runConverter({source, target}, 60);
    expectDiskFullReportedAndOldOutputKept(run, target);
    // The space the temporary file took is free again: a file of most of the size can still be written.
    dir.write("small/after.bin", std::string(48 * 1024, 'x'));
    EXPECT_EQ(fs::file_size(dir.path() / "small" / "after.bin"), 48u * 1024);
}

} // namespace
} // namespace velquin::test
