// The three state files: their byte format, the read rules, the flags and the save rules.
#include "state/StateFiles.h"

#include "common/MessageBox.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace velquin::state;
using velquin::common::MessageIcon;
using velquin::common::RecordingMessageBox;
using velquin::test::readFile;
using velquin::test::TempDir;

namespace {

std::vector<std::string> lines(std::initializer_list<const char*> values)
{
    return {values.begin(), values.end()};
}

std::vector<std::string> numbered(std::size_t count)
{
    std::vector<std::string> values;
    for (std::size_t i = 0; i < count; ++i)
        values.push_back("/out/" + std::to_string(i));
    return values;
}

} // namespace

TEST(StateFileLines, LineEndsAndValues)
{
    // CR LF and a lone CR end a line; a lone LF stays in the value.
    EXPECT_EQ(splitLines("a\r\nb\rc\nd\r\n"), lines({"a", "b", "c\nd"}));
    // The last line counts without its terminator; an empty line is an empty value; nothing is trimmed.
    EXPECT_EQ(splitLines("/x\r\n\r\n /y \r\nlast"), lines({"/x", "", " /y ", "last"}));
    EXPECT_EQ(splitLines(""), lines({}));
    EXPECT_EQ(splitLines("\r\n"), lines({""}));
    EXPECT_EQ(splitLines("\r\r\n\n"), lines({"", "", "\n"}));
    EXPECT_EQ(splitLines("only\n"), lines({"only\n"}));
    // Bytes beyond ASCII pass through untouched.
    EXPECT_EQ(splitLines("/d\xC3\xA9j\xC3\xA0\r\n\xFF\r\n"), lines({"/d\xC3\xA9j\xC3\xA0", "\xFF"}));
}

TEST(StateFileLines, WrittenWithCrLfAndReadBackUnchanged)
{
    EXPECT_EQ(joinLines({}), "");
    EXPECT_EQ(joinLines(lines({"a", "", "b c"})), "a\r\n\r\nb c\r\n");
    EXPECT_EQ(joinLines(lines({"a", "b", "c"}), 2), "a\r\nb\r\n");
    auto values = lines({"/home/u/Q1 Sales.xls", "", "/srv/data", "tab\there"});
    EXPECT_EQ(splitLines(joinLines(values)), values);
}

TEST(StateFiles, MissingFilesReadAsEmpty)
{
    TempDir dir;
    StateFiles files(dir.path().string(), nullptr);
    auto lists = files.LoadLists();
    EXPECT_TRUE(lists.inputs.empty());
    EXPECT_TRUE(lists.outputs.empty());
    EXPECT_EQ(files.ReadSettingFlags(), (SettingFlags{false, false}));
}

TEST(StateFiles, LoadListsTakesEveryLineVerbatim)
{
    TempDir dir;
    dir.write("EXCEL.txt", "/data/Book1.xls\r\n\r\n/data/folder\r\n/data/Book1.xls\r\n/gone");
    dir.write("output.txt", "/out/a\r\n /out/b\r\n");
    StateFiles files(dir.path().string(), nullptr);
    auto lists = files.LoadLists();
    EXPECT_EQ(lists.inputs, lines({"/data/Book1.xls", "", "/data/folder", "/data/Book1.xls", "/gone"}));
    EXPECT_EQ(lists.outputs, lines({"/out/a", " /out/b"}));

    // Reading has no limit of its own.
    dir.write("output.txt", joinLines(numbered(300)));
    EXPECT_EQ(files.LoadLists().outputs.size(), 300u);
}

TEST(StateFiles, SettingFlagsAreOnOnlyForExactlyOne)
{
    TempDir dir;
    StateFiles files(dir.path().string(), nullptr);
    struct Case
    {
        const char* text;
        SettingFlags flags;
    };
    const Case cases[] = {
        {"1\r\n1\r\n", {true, true}},
        {"1\r\n0\r\n", {true, false}},
        {"0\r\n1\r\n", {false, true}},
        {"1", {true, false}},
        {"1\r\n", {true, false}},
        {"1\r1", {true, true}},
        {"", {false, false}},
        {" 1\r\n1 \r\n", {false, false}},
        {"01\r\n2\r\n", {false, false}},
        {"1\n1\r\n", {false, false}},
        {"\r\n1\r\n1\r\n", {false, true}},
        {"true\r\nyes\r\n", {false, false}},
        {"0\r\n0\r\n1\r\n", {false, false}},
    };
    for (const auto& c : cases)
    {
        dir.write("set.txt", c.text);
        EXPECT_EQ(files.ReadSettingFlags(), c.flags) << "set.txt: " << ::testing::PrintToString(std::string(c.text));
    }
}

TEST(StateFiles, WriteSettingFlagsGivesTwoCanonicalLines)
{
    TempDir dir;
    StateFiles files(dir.path().string(), nullptr);
    dir.write("set.txt", " 1\r\ngarbage\r\nmore\r\n");
    ASSERT_TRUE(files.WriteSettingFlags(true, false));
    EXPECT_EQ(readFile(dir.path() / "set.txt"), "1\r\n0\r\n");
    ASSERT_TRUE(files.WriteSettingFlags(false, true));
    EXPECT_EQ(readFile(dir.path() / "set.txt"), "0\r\n1\r\n");
    EXPECT_EQ(files.ReadSettingFlags(), (SettingFlags{false, true}));
}

TEST(StateFiles, SaveListsWritesOnlyWhatTheFlagsAskFor)
{
    const SavedLists current{lines({"/in/a.xls", "/in/folder"}), lines({"/out/x"})};
    struct Case
    {
        const char* settings;
        bool inputsWritten;
        bool outputsWritten;
    };
    const Case cases[] = {
        {"1\r\n1\r\n", true, true},   {"1\r\n0\r\n", true, false}, {"0\r\n1\r\n", false, true},
        {"0\r\n0\r\n", false, false}, {"", false, false},          {nullptr, false, false}, // no set.txt at all
    };
    for (const auto& c : cases)
    {
        TempDir dir;
        dir.write("EXCEL.txt", "old input\r\n");
        dir.write("output.txt", "old output\r\n");
        if (c.settings)
            dir.write("set.txt", c.settings);
        StateFiles(dir.path().string(), nullptr).SaveLists(current);
        SCOPED_TRACE(c.settings ? c.settings : "(none)");
        EXPECT_EQ(readFile(dir.path() / "EXCEL.txt"),
                  c.inputsWritten ? "/in/a.xls\r\n/in/folder\r\n" : "old input\r\n");
        EXPECT_EQ(readFile(dir.path() / "output.txt"), c.outputsWritten ? "/out/x\r\n" : "old output\r\n");
    }
}

TEST(StateFiles, SaveListsEmptyListsAndLimits)
{
    TempDir dir;
    dir.write("set.txt", "1\r\n1\r\n");
    dir.write("EXCEL.txt", "old\r\n");
    dir.write("output.txt", "old\r\n");
    StateFiles files(dir.path().string(), nullptr);

    // An empty list gives an empty file, not a missing one.
    files.SaveLists({});
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "EXCEL.txt"));
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "EXCEL.txt"), 0u);
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "output.txt"), 0u);

    // Output directories: the entries at indices 0 to 200; the input list is written whole, even past 32767.
    SavedLists big{numbered(40000), numbered(250)};
    files.SaveLists(big);
    auto back = files.LoadLists();
    EXPECT_EQ(back.inputs, big.inputs);
    ASSERT_EQ(back.outputs.size(), 201u);
    EXPECT_EQ(back.outputs.front(), "/out/0");
    EXPECT_EQ(back.outputs.back(), "/out/200");
}

TEST(StateFiles, WritingLeavesNoTemporaryFilesBehind)
{
    TempDir dir;
    StateFiles files(dir.path().string(), nullptr);
    ASSERT_TRUE(files.writeLines("EXCEL.txt", lines({"a"})));
    ASSERT_TRUE(files.writeLines("EXCEL.txt", lines({"b"})));
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, lines({"EXCEL.txt"}));
    EXPECT_EQ(readFile(dir.path() / "EXCEL.txt"), "b\r\n");
}

TEST(StateFiles, AFailedWriteIsReportedWithTheFileName)
{
    TempDir dir;
    // A state folder that cannot be written: the user is told which file was not saved.
    RecordingMessageBox box;
    StateFiles missing((dir.path() / "no such folder").string(), &box);
    EXPECT_FALSE(missing.WriteSettingFlags(true, true));
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_EQ(box.shown()[0].icon, MessageIcon::Critical);
    EXPECT_NE(box.shown()[0].text.find((dir.path() / "no such folder" / "set.txt").string()), std::string::npos);

    // "EXCEL.txt" is a folder: the rename over it fails, the folder and its content stay, no temporary is left.
    std::filesystem::create_directory(dir.path() / "sub");
    dir.write("sub/set.txt", "1\r\n0\r\n");
    std::filesystem::create_directory(dir.path() / "sub" / "EXCEL.txt");
    dir.write("sub/EXCEL.txt/inside", "x");
    box.clear();
    StateFiles blocked((dir.path() / "sub").string(), &box);
    blocked.SaveLists({lines({"/new"}), {}});
    ASSERT_EQ(box.shown().size(), 1u);
    EXPECT_NE(box.shown()[0].text.find("EXCEL.txt"), std::string::npos);
    EXPECT_EQ(readFile(dir.path() / "sub" / "EXCEL.txt" / "inside"), "x");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path() / "sub"))
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST(StateFolder, ApplicationFolderWhenWritableElseTheUserConfigFolder)
{
    TempDir dir;
    auto app = (dir.path() / "app").string();
    std::filesystem::create_directory(app);
    auto config = (dir.path() / "config").string();
    auto home = (dir.path() / "home").string();

    EXPECT_EQ(chooseStateFolder(app, config.c_str(), home.c_str()), app);

    // An application folder that cannot hold the files (here: missing) sends them to $XDG_CONFIG_HOME/velquin,
    // created on the way.
    auto gone = (dir.path() / "gone").string();
    EXPECT_EQ(chooseStateFolder(gone, config.c_str(), home.c_str()), config + "/velquin");
    EXPECT_TRUE(std::filesystem::is_directory(config + "/velquin"));
    // Without $XDG_CONFIG_HOME (or with a relative one, which the base directory rules ignore): ~/.config/velquin.
    EXPECT_EQ(chooseStateFolder(gone, nullptr, home.c_str()), home + "/.config/velquin");
    EXPECT_EQ(chooseStateFolder(gone, "relative", home.c_str()), home + "/.config/velquin");
    EXPECT_TRUE(std::filesystem::is_directory(home + "/.config/velquin"));

    if (::geteuid() != 0)
    {
        ::chmod(app.c_str(), 0555);
        EXPECT_EQ(chooseStateFolder(app, config.c_str(), home.c_str()), config + "/velquin");
        ::chmod(app.c_str(), 0755);
    }
}
