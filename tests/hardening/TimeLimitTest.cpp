// --timeout ends a workbook that takes too long with an error (1011), leaves no output for it, and goes on with the
// next workbook of the batch.
#include "engine/Engine.h"
#include "tests/hardening/ConverterRun.h"
#include "tests/hardening/DamagedFiles.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace velquin::test {
namespace {

namespace fs = std::filesystem;

std::string workbookOfRows(int rows)
{
    std::string data;
    for (int r = 1; r <= rows; ++r)
    {
        const std::string n = std::to_string(r);
        data += "<row r=\"" + n + "\"><c r=\"A" + n + "\"><v>" + n + "</v></c><c r=\"B" + n + "\"><f>A" + n +
                "*2+SUM($A$1:A" + n + ")</f><v>0</v></c><c r=\"C" + n +
                "\" t=\"inlineStr\"><is><t>row text</t></is></c></row>";
    }
    return makeXlsx(data);
}

TEST(TimeLimit, SlowWorkbookStopsAndTheBatchGoesOn)
{
    TempDir dir;
    dir.write("in/a-slow.xlsx", workbookOfRows(150000));
    dir.write("in/b-quick.xlsx", workbookOfRows(3));
    const ConverterRun run = runConverter({"--timeout", "0.3", "-d", dir.file("out"), dir.file("in")}, 120);
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.exitCode, 1) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find("a-slow.xlsx: 1011: "), std::string::npos) << run.errorOutput;
    EXPECT_EQ(run.errorOutput.find("b-quick"), std::string::npos) << run.errorOutput;
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "a-slow.xml"));
    EXPECT_TRUE(isWellFormedXml(dir.file("out/b-quick.xml")));
    for (const auto& entry : fs::directory_iterator(dir.path() / "out"))
        EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
}

TEST(TimeLimit, OpeningStopsOnceTheTimeHasRunOut)
{
    // A workbook can take long to open (a huge shared string table, many globals records): both readers stop at
    // their first check of the clock once the time is up, rather than reading the whole workbook first.
    TempDir dir;
    dir.write("a.xlsx", workbookOfRows(3));
    const std::string bof("\x09\x08\x10\x00\x00\x06\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 20);
    const std::string eof("\x0A\x00\x00\x00", 4);
    dir.write("b.xls", makeCompoundFile({{"Workbook", bof + std::string(5000, '\0') + eof}}));
    const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    std::unique_ptr<engine::model::WorkbookReader> reader;
    EXPECT_EQ(engine::openWorkbook(dir.file("a.xlsx"), reader, past).code(), engine::EngineErrc::Timeout);
    EXPECT_EQ(engine::openWorkbook(dir.file("b.xls"), reader, past).code(), engine::EngineErrc::Timeout);
    // The same workbooks open when time is left.
    const auto later = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    EXPECT_TRUE(engine::openWorkbook(dir.file("a.xlsx"), reader, later));
}

} // namespace
} // namespace velquin::test
