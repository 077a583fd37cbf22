// velquin-convert: arguments, output names, folder listing, the parallel runner and the program's exit codes.
#include "cli/Batch.h"
#include "cli/Options.h"
#include "cli/OutputNames.h"
#include "convert/automation/EngineAutomation.h"
#include "tests/support/FakeWorkbookReader.h"
#include "tests/support/TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace velquin::cli {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;

bool parses(std::vector<std::string> arguments, Options& options)
{
    std::string error;
    return parseOptions(arguments, options, error);
}

TEST(Options, ReadsBothFormsAndTheirOptions)
{
    Options options;
    ASSERT_TRUE(parses({"in.xlsx", "out.xml"}, options));
    EXPECT_THAT(options.sources, ElementsAre("in.xlsx"));
    EXPECT_EQ(options.output, "out.xml");
    ASSERT_TRUE(parses({"-j", "4", "--timeout", "2.5", "--no-sync", "-d", "out", "a.xls", "folder"}, options));
    EXPECT_TRUE(options.noSync);
    EXPECT_EQ(options.jobs, 4u);
    EXPECT_EQ(options.timeout.count(), 2500);
    EXPECT_EQ(options.outputFolder, "out");
    EXPECT_THAT(options.sources, ElementsAre("a.xls", "folder"));
    ASSERT_TRUE(parses({"--help"}, options));
    EXPECT_TRUE(options.help);
    ASSERT_TRUE(parses({"--", "-odd.xlsx", "out.xml"}, options));
    EXPECT_THAT(options.sources, ElementsAre("-odd.xlsx"));
}

TEST(Options, RefusesBadUsage)
{
    Options options;
    for (const std::vector<std::string>& bad : {std::vector<std::string>{},
                                                {"in.xlsx"},
                                                {"a", "b", "c"},
                                                {"-d", "out"},
                                                {"-d"},
                                                {"-j", "0", "a", "b"},
                                                {"-j", "x", "a", "b"},
                                                {"--timeout", "-1", "a", "b"},
                                                {"--timeout", "nan", "a", "b"},
                                                {"--frobnicate"}})
        EXPECT_FALSE(parses(bad, options)) << (bad.empty() ? "" : bad.front());
}

TEST(OutputNames, CutsTheExtensionAndRemovesSpacesAndDots)
{
    test::TempDir dir;
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(outputBasePath(folder, "Q1 Sales.2009.xls"), folder + "Q1Sales2009");
    EXPECT_EQ(outputBasePath(folder, "Data"), folder + "Data");
    EXPECT_EQ(outputBasePath(folder, "A B.xls"), outputBasePath(folder, "AB.xls"));
    EXPECT_EQ(removeSpacesAndDots(" a.\tb . "), "a\tb");
}

TEST(OutputNames, AppendsCounterDigitsWhileAFolderOfThatNameExists)
{
    test::TempDir dir;
    const std::string folder = dir.path().string() + "/";
    dir.write("Book1.xml", "an existing output does not count");
    EXPECT_EQ(outputBasePath(folder, "Book1.xls"), folder + "Book1");
    std::filesystem::create_directory(folder + "Book1");
    EXPECT_EQ(outputBasePath(folder, "Book1.xls"), folder + "Book11");
    std::filesystem::create_directory(folder + "Book11");
    EXPECT_EQ(outputBasePath(folder, "Book1.xls"), folder + "Book112");
    // An empty base name starts from the output folder itself, which is a folder.
    EXPECT_EQ(outputBasePath(folder, ".xls"), folder + "1");
}

TEST(OutputNames, ListsTheVisibleWorkbooksDirectlyInsideAFolder)
{
    test::TempDir dir;
    for (const char* name : {"b.xlsx", "a.XLS", "c.xlsm", "d.xlsb", "e.xl", "notes.txt", ".hidden.xls", "sub/f.xls"})
        dir.write(name, "x");
    std::filesystem::create_directory(dir.file("folder.xls"));
    EXPECT_THAT(listWorkbooks(dir.path().string()), ElementsAre("a.XLS", "b.xlsx", "c.xlsm", "d.xlsb"));
}

TEST(Batch, PlansOneJobPerListedWorkbookAndPerFileSource)
{
    test::TempDir dir;
    dir.write("in/First Book.xlsx", "x");
    dir.write("in/second.xls", "x");
    const std::string out = dir.file("out");
    const std::vector<Job> jobs = planFolderJobs(out, {dir.file("in"), dir.file("lone.v2.xlsx")});
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].source, dir.file("in") + "/First Book.xlsx");
    EXPECT_EQ(jobs[0].output, out + "/FirstBook.xml");
    EXPECT_EQ(jobs[1].output, out + "/second.xml");
    EXPECT_EQ(jobs[2].source, dir.file("lone.v2.xlsx"));
    EXPECT_EQ(jobs[2].output, out + "/lonev2.xml");
}

// Fake workbooks: "<name>.xlsx" holds one sheet named after the file; anything else is not a workbook.
convert::EngineApplicationFactory fakeFactory()
{
    convert::EngineAutomationOptions options;
    options.open = [](const std::string& path, std::unique_ptr<engine::model::WorkbookReader>& reader) {
        if (!path.ends_with(".xlsx"))
            return engine::Status(engine::EngineErrc::NotAWorkbook, {});
        auto fake = std::make_unique<test::FakeWorkbookReader>();
        const std::string name = std::filesystem::path(path).stem().string();
        fake->addSheet(name, [name](engine::model::SheetSink& sink) {
            return test::feedCells(sink, test::sheetHeader(0, name), {});
        });
        reader = std::move(fake);
        return engine::Status{};
    };
    return convert::EngineApplicationFactory(options);
}

TEST(Batch, RunsInParallelAndLetsTheLaterOfTwoSameNamedWorkbooksWin)
{
    test::TempDir dir;
    std::vector<Job> jobs;
    for (int i = 0; i < 40; ++i)
        jobs.push_back({"w" + std::to_string(i) + ".xlsx", dir.file("w" + std::to_string(i) + ".xml")});
    jobs.push_back({"broken.xls", dir.file("broken.xml")});
    jobs.push_back({"first.xlsx", dir.file("same.xml")});
    jobs.push_back({"later.xlsx", dir.file("same.xml")});
    convert::EngineApplicationFactory factory = fakeFactory();
    std::size_t reported = 0;
    std::vector<std::int32_t> errors;
    const std::size_t failures =
        runJobs(factory, jobs, 4, [&](const Job&, const JobResult& result, std::size_t done, std::size_t total) {
            ++reported;
            EXPECT_EQ(done, reported);
            EXPECT_EQ(total, jobs.size());
            if (!result.converted)
                errors.push_back(result.number);
        });
    EXPECT_EQ(failures, 1u);
    EXPECT_EQ(reported, jobs.size());
    EXPECT_THAT(errors, ElementsAre(static_cast<std::int32_t>(engine::EngineErrc::NotAWorkbook)));
    EXPECT_THAT(test::readFile(dir.file("w39.xml")), HasSubstr("ss:Name=\"w39\""));
    EXPECT_THAT(test::readFile(dir.file("same.xml")), HasSubstr("ss:Name=\"later\""));
    EXPECT_FALSE(std::filesystem::exists(dir.file("broken.xml")));
}

struct ConverterRun
{
    int exitCode = -1;
    std::string output; ///< stdout and stderr together
};

ConverterRun runConverter(const std::string& arguments)
{
    const std::string command = std::string(VELQUIN_CONVERT_PATH) + " " + arguments + " 2>&1";
    ConverterRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(VelquinConvert, ExitsWithTwoOnBadUsageAndZeroForHelp)
{
    EXPECT_EQ(runConverter("").exitCode, 2);
    EXPECT_EQ(runConverter("-j 0 a b").exitCode, 2);
    const ConverterRun help = runConverter("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.output, HasSubstr("-d OUTDIR"));
}

TEST(VelquinConvert, ReportsEachFailureAsNumberAndDescriptionAndExitsWithOne)
{
    test::TempDir dir;
    const std::string text = dir.write("in/notes.xls", std::string("\x7F" "ELF\x02\x01\x01\0\0\0 binary", 17));
    const ConverterRun single = runConverter(text + " " + dir.file("out.xml"));
    EXPECT_EQ(single.exitCode, 1);
    EXPECT_THAT(single.output, HasSubstr(text + ": 1003: The file is not an Excel workbook."));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.xml")));

    const ConverterRun batch =
        runConverter("-j 2 -d " + dir.file("out") + " " + dir.file("in") + " " + dir.file("gone.xlsx"));
    EXPECT_EQ(batch.exitCode, 1);
    EXPECT_THAT(batch.output, HasSubstr(": 1001: "));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("out")));
}

TEST(VelquinConvert, SucceedsOnAnEmptyFolder)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("empty"));
    EXPECT_EQ(runConverter("-d " + dir.file("out") + " " + dir.file("empty")).exitCode, 0);
}

} // namespace
} // namespace velquin::cli
