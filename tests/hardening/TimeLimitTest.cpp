// --timeout ends a workbook that takes too long with an error (1011), leaves no output for it, and goes on with the
// next workbook of the batch.
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

} // namespace
} // namespace velquin::test
