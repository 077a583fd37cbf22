// Opening by content and the safe save path: temporary file, rename, nothing left behind on failure.
#include "engine/Engine.h"

#include "tests/support/FakeWorkbookReader.h"
#include "tests/support/TestSupport.h"

#include <csignal>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velquin::engine {
namespace {

using test::FakeWorkbookReader;
using test::readFile;
using test::TempDir;
using testing::HasSubstr;

EngineErrc openError(const std::string& path)
{
    std::unique_ptr<model::WorkbookReader> reader;
    return openWorkbook(path, reader).code();
}

FakeWorkbookReader readerWithRows(std::uint32_t rows, Status result = {})
{
    FakeWorkbookReader reader;
    reader.addSheet("Sheet1", [rows, result](model::SheetSink& sink) {
        sink.beginSheet(test::sheetHeader(0, "Sheet1"));
        for (std::uint32_t row = 0; row < rows; ++row)
        {
            model::Cell cell;
            cell.row = row;
            cell.type = model::CellType::String;
            cell.text = "a line of text that makes the output grow quickly";
            sink.cell(cell);
            if (sink.shouldStop())
                return Status{};
        }
        if (!result)
            return result;
        sink.endSheet({});
        return Status{};
    });
    return reader;
}

std::size_t entriesIn(const std::filesystem::path& folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

TEST(OpenWorkbook, JudgesTheFileByItsContent)
{
    TempDir dir;
    EXPECT_EQ(openError(dir.file("missing.xlsx")), EngineErrc::FileNotFound);
    EXPECT_EQ(openError(dir.path().string()), EngineErrc::FileUnreadable);
    EXPECT_EQ(openError(dir.write("empty.xlsx", "")), EngineErrc::NotAWorkbook);
    EXPECT_EQ(openError(dir.write("drawing.xls", "<?xml version=\"1.0\"?><svg/>")), EngineErrc::NotAWorkbook);
    // Excel 4.0 record streams go to the old reader: a chart is not converted, a cut worksheet is damaged.
    EXPECT_EQ(openError(dir.write("chart.xls", std::string("\x09\x04\x06\x00\x00\x00\x20\x00\x00\x00"
                                                           "\x0a\x00\x00\x00",
                                                           14))),
              EngineErrc::UnsupportedFormat);
    EXPECT_EQ(openError(dir.write("old.xls", std::string("\x09\x04\x06\x00\x00\x00\x10\x00", 8))),
              EngineErrc::DamagedFile);
    EXPECT_EQ(openError(dir.write("random.xlsx", "\x01\x02\x03\x04 not a workbook")), EngineErrc::NotAWorkbook);
}

TEST(SaveAsSpreadsheetMl, ReplacesAnExistingFileWithTheCompleteOutput)
{
    for (const Durability durability : {Durability::Synced, Durability::Buffered})
    {
        TempDir dir;
        const std::string target = dir.write("out.xml", "old content");
        // Several megabytes of worksheet, written aside first and then behind the styles.
        FakeWorkbookReader reader = readerWithRows(60000);
        const Status status =
            saveAsSpreadsheetMl(reader, target, std::chrono::steady_clock::time_point::max(), durability);
        ASSERT_TRUE(status) << status.description();
        const std::string written = readFile(target);
        EXPECT_LT(written.find("</Styles>"), written.find("<Worksheet ss:Name=\"Sheet1\">"));
        EXPECT_THAT(written, HasSubstr("ss:ExpandedRowCount=\"60000\""));
        std::size_t rows = 0;
        for (std::size_t at = written.find("</Row>"); at != std::string::npos; at = written.find("</Row>", at + 1))
            ++rows;
        EXPECT_EQ(rows, 60000u);
        EXPECT_EQ(written.substr(written.size() - 12), "</Workbook>\n");
        EXPECT_EQ(entriesIn(dir.path()), 1u);
    }
}

TEST(SaveAsSpreadsheetMl, KeepsTheOldFileAndLeavesNoTemporaryFileWhenTheReaderFails)
{
    TempDir dir;
    const std::string target = dir.write("out.xml", "old content");
    FakeWorkbookReader reader = readerWithRows(300000, {EngineErrc::DamagedFile, "row 300000"});
    const Status status = saveAsSpreadsheetMl(reader, target);
    EXPECT_EQ(status.code(), EngineErrc::DamagedFile);
    EXPECT_EQ(readFile(target), "old content");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(SaveAsSpreadsheetMl, StopsWithTimeoutOncePastTheDeadline)
{
    TempDir dir;
    FakeWorkbookReader reader = readerWithRows(10);
    const Status status = saveAsSpreadsheetMl(reader, dir.file("out.xml"), std::chrono::steady_clock::now());
    EXPECT_EQ(status.code(), EngineErrc::Timeout);
    EXPECT_EQ(entriesIn(dir.path()), 0u);
}

TEST(SaveAsSpreadsheetMl, ReportsTargetsThatCannotBeWritten)
{
    TempDir dir;
    FakeWorkbookReader reader = readerWithRows(1);
    EXPECT_EQ(saveAsSpreadsheetMl(reader, dir.file("no/such/folder/out.xml")).code(), EngineErrc::OutputNotWritable);
    std::filesystem::create_directory(dir.file("taken.xml"));
    EXPECT_EQ(saveAsSpreadsheetMl(reader, dir.file("taken.xml")).code(), EngineErrc::OutputNotWritable);
}

// A file size limit stands in for a full disk: the writes fail with EFBIG the same way.
TEST(SaveAsSpreadsheetMl, ReportsAFullDiskAndRemovesTheTemporaryFile)
{
    TempDir dir;
    const std::string target = dir.write("out.xml", "old content");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        FakeWorkbookReader reader = readerWithRows(200000);
        const Status status = saveAsSpreadsheetMl(reader, target);
        ::_exit(status.code() == EngineErrc::DiskFull ? 0 : 1);
    }
    int wait = 0;
    ASSERT_EQ(::waitpid(child, &wait, 0), child);
    EXPECT_TRUE(WIFEXITED(wait) && WEXITSTATUS(wait) == 0);
    EXPECT_EQ(readFile(target), "old content");
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

} // namespace
} // namespace velquin::engine
