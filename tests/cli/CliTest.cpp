// velquin-convert: arguments, source lists, planning, the parallel runner, the report and the program's exit codes.
#include "cli/Batch.h"
#include "cli/Options.h"
#include "cli/PasswordList.h"
#include "cli/Report.h"
#include "convert/automation/EngineAutomation.h"
#include "platform/PosixPlatform.h"
#include "tests/support/FakeWorkbookReader.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
    ASSERT_TRUE(parses(
        {"--from0", "-", "--from", "list", "--report", "-", "--skip-existing", "--replace", "--claims", "c", "-d", "o"},
        options));
    EXPECT_EQ(options.claims, "c");
    ASSERT_EQ(options.lists.size(), 2u);
    EXPECT_EQ(options.lists[0].path, "-");
    EXPECT_EQ(options.lists[0].separator, '\0');
    EXPECT_EQ(options.lists[1].separator, '\n');
    EXPECT_EQ(options.report, "-");
    EXPECT_TRUE(options.skipExisting && options.replace);
    EXPECT_TRUE(options.sources.empty());
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
                                                {"--frobnicate"},
                                                {"--from", "list", "a", "b"},
                                                {"--from", "-", "--from0", "-", "-d", "out"},
                                                {"-d", "out", "a", "--report"},
                                                {"--report", "", "a", "b"},
                                                {"--claims", "c", "a", "b"}})
        EXPECT_FALSE(parses(bad, options)) << (bad.empty() ? "" : bad.front());
}

TEST(Batch, PlansOneJobPerListedWorkbookAndPerFileSource)
{
    test::TempDir dir;
    dir.write("in/First Book.xlsx", "x");
    dir.write("in/second.xls", "x");
    const std::string out = dir.file("out");
    std::filesystem::create_directories(out + "/second");
    platform::PosixPlatform platform;
    const std::vector<Job> jobs = planFolderJobs(platform, out, {dir.file("in"), dir.file("lone.v2.xlsx")});
    ASSERT_EQ(jobs.size(), 3u);
    EXPECT_EQ(jobs[0].source, dir.file("in") + "/First Book.xlsx");
    EXPECT_EQ(jobs[0].output, out + "/FirstBook.xml");
    EXPECT_EQ(jobs[1].output, out + "/second1.xml"); // the window's rule steps around a folder of the name
    EXPECT_EQ(jobs[2].source, dir.file("lone.v2.xlsx"));
    EXPECT_EQ(jobs[2].output, out + "/lonev2.xml");
}

// Fake workbooks: "<name>.xlsx" holds one sheet named after the file; anything else is not a workbook.
engine::Status openFake(const std::string& path, std::unique_ptr<engine::model::WorkbookReader>& reader)
{
    if (!path.ends_with(".xlsx"))
        return engine::Status(engine::EngineErrc::NotAWorkbook, {});
    auto fake = std::make_unique<test::FakeWorkbookReader>();
    const std::string name = std::filesystem::path(path).stem().string();
    fake->addSheet(
        name, [name](engine::model::SheetSink& sink) { return test::feedCells(sink, test::sheetHeader(0, name), {}); });
    reader = std::move(fake);
    return engine::Status{};
}

convert::EngineApplicationFactory fakeFactory()
{
    convert::EngineAutomationOptions options;
    options.open = openFake;
    return convert::EngineApplicationFactory(options);
}

TEST(Batch, RunsInParallelAndRefusesASecondSourceForAnOutputItWrote)
{
    test::TempDir dir;
    std::vector<Job> jobs;
    for (int i = 0; i < 40; ++i)
        jobs.push_back({"w" + std::to_string(i) + ".xlsx", dir.file("w" + std::to_string(i) + ".xml"), {}});
    jobs.push_back({"broken.xls", dir.file("broken.xml"), {}});
    jobs.push_back({"bad.xls", dir.file("same.xml"), {}});
    jobs.push_back({"first.xlsx", dir.file("same.xml"), {}});
    jobs.push_back({"later.xlsx", dir.file("same.xml"), {}});
    convert::EngineApplicationFactory factory = fakeFactory();
    std::size_t reported = 0;
    std::vector<std::string> errors;
    const auto collect = [&](const Job& job, const JobResult& result, std::size_t done, std::size_t total) {
        ++reported;
        EXPECT_EQ(done, reported);
        EXPECT_EQ(total, jobs.size());
        if (result.status == JobStatus::Failed)
            errors.push_back(job.source + " " + std::to_string(result.number) + " " + result.description);
    };
    EXPECT_EQ(runJobs(factory, jobs, {4, false, false, {}}, collect), 3u);
    EXPECT_EQ(reported, jobs.size());
    std::sort(errors.begin(), errors.end());
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_THAT(errors[0], HasSubstr("bad.xls 1003"));
    EXPECT_THAT(errors[1], HasSubstr("broken.xls 1003"));
    // A failed source takes no name; the first one converted does, and the next one says whose output it met.
    EXPECT_THAT(errors[2], HasSubstr("later.xlsx 2001"));
    EXPECT_THAT(errors[2], HasSubstr("from first.xlsx;"));
    EXPECT_THAT(test::readFile(dir.file("w39.xml")), HasSubstr("ss:Name=\"w39\""));
    EXPECT_THAT(test::readFile(dir.file("same.xml")), HasSubstr("ss:Name=\"first\""));
    EXPECT_FALSE(std::filesystem::exists(dir.file("broken.xml")));

    reported = 0;
    errors.clear();
    EXPECT_EQ(runJobs(factory, jobs, {4, false, true, {}}, collect), 2u);
    EXPECT_THAT(test::readFile(dir.file("same.xml")), HasSubstr("ss:Name=\"later\""));
}

TEST(Batch, ProcessesSharingAClaimsFolderLetTheFirstSourceKeepAName)
{
    test::TempDir dir;
    const std::string claims = dir.file("claims");
    std::filesystem::create_directory(claims);
    const RunOptions shared{1, true, false, claims};
    convert::EngineApplicationFactory factory = fakeFactory();
    std::vector<JobResult> results;
    const auto collect = [&](const Job&, const JobResult& result, std::size_t, std::size_t) {
        results.push_back(result);
    };
    // Three processes of one run, one after another: the first converts, the second has another source for the
    // same name, the third retries the first one's source.
    EXPECT_EQ(runJobs(factory, {{"in/A B.xlsx", dir.file("AB.xml"), {}}}, shared, collect), 0u);
    EXPECT_EQ(runJobs(factory, {{"other/AB.xlsx", dir.file("AB.xml"), {}}}, shared, collect), 1u);
    EXPECT_EQ(runJobs(factory, {{"in/A B.xlsx", dir.file("AB.xml"), {}}}, shared, collect), 0u);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[1].number, static_cast<std::int32_t>(BatchErrc::OutputTaken));
    EXPECT_THAT(results[1].description, HasSubstr("from in/A B.xlsx; other/AB.xlsx maps"));
    EXPECT_THAT(test::readFile(dir.file("AB.xml")), HasSubstr("ss:Name=\"A B\""));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(claims), {}), 1);
}

TEST(Batch, SkipsOnlyOutputsNewerThanTheirSourcesAndNeverWritesOverASource)
{
    test::TempDir dir;
    const std::string source = dir.write("in/a.xlsx", "x");
    const std::string older = dir.write("in/b.xlsx", "x");
    std::vector<Job> jobs = {{source, dir.file("a.xml"), {}}, {older, dir.file("b.xml"), {}}};
    convert::EngineApplicationFactory factory = fakeFactory();
    EXPECT_EQ(runJobs(factory, jobs, {1, true, false, {}}, nullptr), 0u);

    const auto now = std::filesystem::last_write_time(dir.file("a.xml"));
    std::filesystem::last_write_time(source, now - std::chrono::hours(1));
    std::filesystem::last_write_time(older, now + std::chrono::hours(1)); // the source changed after its output
    jobs.push_back({source, dir.path().string() + "/in/../in/a.xlsx", {}});
    std::vector<JobResult> results;
    EXPECT_EQ(
        runJobs(factory, jobs, {1, true, true, {}},
                [&](const Job&, const JobResult& result, std::size_t, std::size_t) { results.push_back(result); }),
        1u);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0].status, JobStatus::Skipped);
    EXPECT_EQ(results[0].bytesOut, std::filesystem::file_size(dir.file("a.xml")));
    EXPECT_EQ(results[1].status, JobStatus::Converted);
    EXPECT_EQ(results[2].number, static_cast<std::int32_t>(BatchErrc::OutputIsSource));
    EXPECT_EQ(test::readFile(source), "x");
}

TEST(Batch, RefusesSourcesThatAreNoRegularFiles)
{
    test::TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("pipe.xlsx").c_str(), 0600), 0);
    const std::vector<Job> jobs = {{dir.file("pipe.xlsx"), dir.file("pipe.xml"), {}},
                                   {"/dev/zero", dir.file("zero.xml"), {}}};
    convert::EngineApplicationFactory factory = fakeFactory();
    std::vector<std::int32_t> numbers;
    EXPECT_EQ(runJobs(factory, jobs, {2, false, false, {}},
                      [&](const Job&, const JobResult& result, std::size_t, std::size_t) {
                          numbers.push_back(result.number);
                      }),
              2u);
    EXPECT_THAT(numbers, ElementsAre(1002, 1002));
}

TEST(Report, JsonStringKeepsEveryByteRecoverable)
{
    EXPECT_EQ(jsonString("in/Q1 Sales.xls"), "\"in/Q1 Sales.xls\"");
    EXPECT_EQ(jsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(jsonString(std::string("n\nt\t\x7f\0", 6)), "\"n\\u000at\\u0009\\u007f\\u0000\"");
    EXPECT_EQ(jsonString("M\xc3\xa4rz \xe2\x82\xac"), "\"M\xc3\xa4rz \xe2\x82\xac\"");
    // Latin-1, a cut sequence and an encoded surrogate are no UTF-8: each byte is kept as \udcXX.
    EXPECT_EQ(jsonString("M\xe4rz\xe2\x82"), "\"M\\udce4rz\\udce2\\udc82\"");
    EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\udced\\udca0\\udc80\"");
}

TEST(Report, LineHoldsEveryFieldOfOneSource)
{
    JobResult result;
    result.number = 1003;
    result.description = "The file is not an Excel workbook.";
    result.seconds = 0.25;
    result.bytesIn = 9;
    EXPECT_EQ(reportLine({"in/x.xls", "out/x.xml", {}}, result),
              "{\"source\":\"in/x.xls\",\"output\":\"out/x.xml\",\"status\":\"failed\",\"error\":1003,"
              "\"description\":\"The file is not an Excel workbook.\",\"seconds\":0.250000,\"bytes_in\":9,"
              "\"bytes_out\":0}\n");
}

TEST(SourceList, SplitsOnTheSeparatorAndKeepsEveryOtherByte)
{
    test::TempDir dir;
    const std::string lines = dir.write("list", "a b.xls\n\nsemi;colon$(x).xls\r\n-\nlast");
    std::vector<std::string> sources{"first"};
    std::string error;
    ASSERT_TRUE(readSourceList({lines, '\n'}, sources, error));
    EXPECT_THAT(sources, ElementsAre("first", "a b.xls", "semi;colon$(x).xls\r", "-", "last"));

    const std::string nul = dir.write("list0", std::string("new\nline.xls\0\0\xff.xls\0", 20));
    sources.clear();
    ASSERT_TRUE(readSourceList({nul, '\0'}, sources, error));
    EXPECT_THAT(sources, ElementsAre("new\nline.xls", "\xff.xls"));
    EXPECT_FALSE(readSourceList({dir.file("gone"), '\n'}, sources, error));
    EXPECT_THAT(error, HasSubstr("gone"));
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

TEST(VelquinConvert, ReportAndExitStatusAgreeOverAListOnStandardInput)
{
    test::TempDir dir;
    dir.write("in/A B.xls", std::string("\x7F" "ELF\x02\x01\x01\0\0\0", 10)); // binary data that is no workbook
    dir.write("in/list", dir.file("in/A B.xls") + "\n" + dir.file("in") + "\n");
    const std::string report = dir.file("report.jsonl");
    const ConverterRun run =
        runConverter("--from - --report " + report + " -d " + dir.file("out") + " < " + dir.file("in/list"));
    EXPECT_EQ(run.exitCode, 1);
    const std::string lines = test::readFile(report);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 2);
    EXPECT_THAT(lines, HasSubstr("\"source\":\"" + dir.file("in") + "/A B.xls\",\"output\":\"" + dir.file("out") +
                                 "/AB.xml\",\"status\":\"failed\",\"error\":1003,"));
    EXPECT_EQ(runConverter("--from /nonexistent/list -d " + dir.file("out")).exitCode, 1);
}

TEST(VelquinConvert, AKilledRunLeavesOnlyCompleteReportLines)
{
    test::TempDir dir;
    std::string list;
    for (int i = 0; i < 20000; ++i)
        list += dir.file("in/missing workbook number " + std::to_string(i) + ".xlsx") + '\n';
    dir.write("list", list);
    const std::string report = dir.file("report.jsonl");
    const std::string arguments[] = {"velquin-convert", "-j",   "2",  "--from",       dir.file("list"),
                                     "--report",        report, "-d", dir.file("out")};
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, VELQUIN_CONVERT_PATH, nullptr, nullptr, argv.data(), environ), 0);
    // Kill it as soon as the report has grown: a report written through a buffer would end inside a line then.
    for (int polls = 0; polls < 10000 && test::readFile(report).size() < 100; ++polls)
        ::usleep(1000);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);

    const std::string lines = test::readFile(report);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), '\n');
    for (std::size_t start = 0, end = 0; start < lines.size(); start = end + 1)
    {
        end = std::min(lines.find('\n', start), lines.size());
        ASSERT_EQ(lines.compare(start, 11, "{\"source\":\""), 0) << lines.substr(start, 200);
        ASSERT_EQ(lines.compare(end - 1, 1, "}"), 0) << lines.substr(start, end - start);
    }
}

TEST(VelquinConvert, SucceedsOnAnEmptyFolder)
{
    test::TempDir dir;
    std::filesystem::create_directory(dir.file("empty"));
    EXPECT_EQ(runConverter("-d " + dir.file("out") + " " + dir.file("empty")).exitCode, 0);
}

} // namespace
} // namespace velquin::cli

namespace velquin::cli {
namespace {

TEST(PasswordList, EachPasswordInOrderForEveryWorkbook)
{
    test::TempDir dir;
    std::vector<std::string> passwords;
    std::string error;
    ASSERT_TRUE(readPasswordFile(dir.write("pw.txt", "first\r\n\nsecond\n"), passwords, error));
    EXPECT_THAT(passwords, ElementsAre("first", "second"));
    EXPECT_FALSE(readPasswordFile(dir.file("missing.txt"), passwords, error));

    PasswordList list({"first", "second"});
    EXPECT_EQ(list.ask("a.xls", false), "first");
    EXPECT_EQ(list.ask("a.xls", true), "second");
    EXPECT_EQ(list.ask("a.xls", true), std::nullopt);
    EXPECT_EQ(list.ask("b.xls", false), "first");

    Options options;
    EXPECT_FALSE(parses({"--password-file"}, options));
    ASSERT_TRUE(parses({"--password-file", "-", "in.xls", "out.xml"}, options));
    EXPECT_EQ(options.passwordFile, "-");
}

TEST(VelquinConvert, EncryptedWorkbookWithPasswordFileOrWithout)
{
    VELQUIN_REQUIRE_CORPUS();
    test::TempDir dir;
    const std::string in = (*test::sharedDir() / "corpus" / "encrypted" / "password_2002_128_strong.xls").string();
    const std::string out = dir.file("out.xml");
    const ConverterRun none = runConverter(in + " " + out);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_THAT(none.output, HasSubstr(": 1005: The workbook is encrypted with a password and cannot be converted. "
                                       "A password is needed."));
    const ConverterRun wrong =
        runConverter("--password-file " + dir.write("wrong.txt", "Password\n") + " " + in + " " + out);
    EXPECT_EQ(wrong.exitCode, 1);
    EXPECT_THAT(wrong.output, HasSubstr(": 1005: The workbook is encrypted with a password and cannot be "
                                        "converted. The password does not open it."));
    EXPECT_FALSE(std::filesystem::exists(out));
    const ConverterRun right =
        runConverter("--password-file - " + in + " " + out + " < " + dir.write("right.txt", "Password\npassword\n"));
    EXPECT_EQ(right.exitCode, 0) << right.output;
    EXPECT_THAT(test::readFile(out), HasSubstr("ss:Name=\"Sheet3\""));
}

} // namespace
} // namespace velquin::cli
