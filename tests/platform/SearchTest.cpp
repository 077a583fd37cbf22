// Directory search, attribute query and folder creation over the real file system and the fake.
#include "platform/FakePlatform.h"
#include "platform/PosixPlatform.h"
#include "platform/Wildcard.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace velquin::platform;
using velquin::test::TempDir;

namespace {

std::vector<std::string> allNames(Platform& platform, const std::string& pattern, int filter)
{
    std::vector<std::string> names;
    for (auto r = platform.findFirst(pattern, filter); !r.name.empty(); r = platform.findNext())
        names.push_back(r.name);
    return names;
}

} // namespace

TEST(NamePattern, MatchesWildcardsWithoutRegardToCase)
{
    EXPECT_TRUE(matchesPattern("*.xls", "Book1.XLS"));
    EXPECT_TRUE(matchesPattern("B??k*", "book1.xls"));
    EXPECT_TRUE(matchesPattern("*.xls", "Q1 Sales.2009.xls"));
    EXPECT_FALSE(matchesPattern("*.xls", "Book1.xl"));
    EXPECT_FALSE(matchesPattern("*.xls", "xls"));
    EXPECT_TRUE(matchesPattern("Data", "DATA"));
    EXPECT_FALSE(matchesPattern("Data", "Data1"));
}

TEST(NamePattern, ThreeCharacterExtensionAlsoMatchesLongerOnes)
{
    EXPECT_TRUE(matchesPattern("*.xls", "a.xlsx"));
    EXPECT_TRUE(matchesPattern("*.xls", "a.XLSM"));
    EXPECT_FALSE(matchesPattern("*.xlsx", "a.xls"));
    EXPECT_FALSE(matchesPattern("*.xls", "a.xlx"));
    EXPECT_FALSE(matchesPattern("*.xls", "a.xls.bak"));
}

TEST(NamePattern, NonAsciiLettersFoldBySimpleCaseFolding)
{
    EXPECT_TRUE(matchesPattern("\xC3\x89tude*.xls", "\xC3\xA9TUDE 2009.XLSX")); // É / é
    EXPECT_TRUE(matchesPattern("\xCF\x83*", "\xCE\xA3\xCF\x82"));               // σ matches Σ; ς folds to σ
    EXPECT_TRUE(matchesPattern("?.xls", "\xC3\x96.xls")) << "? stands for one letter, not one byte";
    EXPECT_FALSE(matchesPattern("stra\xC3\x9F"
                                "e",
                                "STRASSE"))
        << "ß is not ss under simple folding";
    EXPECT_FALSE(matchesPattern("\xC3\xA9", "e"));
    // Bytes that are not UTF-8 match only themselves.
    EXPECT_TRUE(matchesPattern("*\xFF.xls", "a\xFF.XLS"));
    EXPECT_FALSE(matchesPattern("*\xFF.xls", "a\xFE.xls"));
    EXPECT_TRUE(nameLess("\xC3\xA9" "b", "\xC3\x89" "C"));
}

TEST(NamePattern, LongNamesOfStarsStayFast)
{
    std::string name(5000, 'a');
    std::string pattern = "*a*a*a*a*a*a*a*a*a*a*b";
    EXPECT_FALSE(matchesPattern(pattern, name));
}

class PosixSearch : public ::testing::Test
{
protected:
    TempDir dir;
    PosixPlatform platform;
    std::string root = dir.path().string();

    void SetUp() override
    {
        dir.write("b.xls", "x");
        dir.write("A.XLSX", "x");
        dir.write("notes.txt", "x");
        dir.write(".hidden.xls", "x");
        dir.write("sub/c.xls", "x");
        std::filesystem::create_directory(dir.path() / ".secret");
    }
};

TEST_F(PosixSearch, NormalFilesOnlyWithFilterZero)
{
    EXPECT_EQ(allNames(platform, root + "/*.xls", 0), (std::vector<std::string>{"A.XLSX", "b.xls"}));
    EXPECT_EQ(allNames(platform, root + "/*", 0), (std::vector<std::string>{"A.XLSX", "b.xls", "notes.txt"}));
}

TEST_F(PosixSearch, FoldersAndHiddenEntriesNeedTheirFlags)
{
    EXPECT_EQ(allNames(platform, root + "/*", 16), (std::vector<std::string>{"A.XLSX", "b.xls", "notes.txt", "sub"}));
    EXPECT_EQ(allNames(platform, root + "/*", 18),
              (std::vector<std::string>{".hidden.xls", ".secret", "A.XLSX", "b.xls", "notes.txt", "sub"}));
}

TEST_F(PosixSearch, TrailingSlashSearchesInsideTheFolder)
{
    auto withFolders = allNames(platform, root + "/sub/", 16);
    EXPECT_EQ(withFolders, (std::vector<std::string>{".", "..", "c.xls"}));
    EXPECT_EQ(allNames(platform, root + "/sub/", 0), (std::vector<std::string>{"c.xls"}));
    std::filesystem::create_directory(dir.path() / "empty");
    EXPECT_EQ(platform.findFirst(root + "/empty/", 0).name, "");
}

TEST_F(PosixSearch, ExactNameAndMissingFolder)
{
    EXPECT_EQ(platform.findFirst(root + "/b.xls", 0).name, "b.xls");
    EXPECT_EQ(platform.findFirst(root + "/sub", 0).name, "");
    EXPECT_EQ(platform.findFirst(root + "/sub", 16).name, "sub");
    auto missing = platform.findFirst(root + "/nowhere/*.xls", 0);
    EXPECT_EQ(missing.name, "");
    EXPECT_EQ(missing.error, FsError::None);
}

TEST_F(PosixSearch, MalformedPatternsAreErrors)
{
    EXPECT_EQ(platform.findFirst(root + "/s*/c.xls", 0).error, FsError::BadName);
    EXPECT_EQ(platform.findFirst("", 0).error, FsError::BadName);
    EXPECT_EQ(platform.findFirst(std::string("a\0b", 3), 0).error, FsError::BadName);
}

TEST_F(PosixSearch, ANewStartReplacesTheSearchInProgress)
{
    EXPECT_EQ(platform.findFirst(root + "/*.xls", 0).name, "A.XLSX");
    EXPECT_EQ(platform.findFirst(root + "/sub/*", 0).name, "c.xls");
    EXPECT_EQ(platform.findNext().name, "");
}

TEST_F(PosixSearch, DevicesAndPipesAreNeverNormalFiles)
{
    ASSERT_EQ(::mkfifo((root + "/pipe.xls").c_str(), 0600), 0);
    EXPECT_EQ(allNames(platform, root + "/*.xls", 0), (std::vector<std::string>{"A.XLSX", "b.xls"}));
}

TEST_F(PosixSearch, AttributesOfFilesFoldersAndMissingPaths)
{
    auto file = platform.attributes(root + "/b.xls");
    EXPECT_EQ(file.error, FsError::None);
    EXPECT_EQ(file.bits & attr::Directory, 0);
    EXPECT_NE(platform.attributes(root + "/sub").bits & attr::Directory, 0);
    EXPECT_NE(platform.attributes(root + "/sub/").bits & attr::Directory, 0);
    EXPECT_NE(platform.attributes(root + "/.hidden.xls").bits & attr::Hidden, 0);
    EXPECT_EQ(platform.attributes(root + "/gone").error, FsError::NotFound);
    EXPECT_EQ(platform.attributes(root + "/*.xls").error, FsError::BadName);
}

TEST_F(PosixSearch, CreateFolderMakesOneLevelAndReportsItsThreeErrors)
{
    EXPECT_EQ(platform.createFolder(root + "/out"), FsError::None);
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "out"));
    EXPECT_EQ(platform.createFolder(root + "/out"), FsError::AlreadyExists);
    EXPECT_EQ(platform.createFolder(root + "/b.xls"), FsError::AlreadyExists);
    EXPECT_EQ(platform.createFolder(root + "/a/b"), FsError::ParentMissing);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "a"));
    EXPECT_EQ(platform.createFolder(root + "/b.xls/x"), FsError::ParentMissing);
    if (::geteuid() != 0)
    {
        ::chmod((root + "/sub").c_str(), 0500);
        EXPECT_EQ(platform.createFolder(root + "/sub/x"), FsError::AccessDenied);
        EXPECT_EQ(platform.findFirst(root + "/sub/x/*", 0).error, FsError::None);
    }
}

TEST(FakeSearch, ReportsNamesInTheOrderTheyWereAddedAndCanFailMidway)
{
    FakePlatform fake;
    fake.addFile("/in/z.xls");
    fake.addFile("/in/a.xls");
    fake.addFile("/in/.h.xls");
    fake.addFolder("/in/sub.xls");
    EXPECT_EQ(allNames(fake, "/in/*.xls", 0), (std::vector<std::string>{"z.xls", "a.xls"}));
    fake.failSearchesIn("/in", FsError::IoError, 1);
    auto first = fake.findFirst("/in/*.xls", 0);
    EXPECT_EQ(first.name, "z.xls");
    EXPECT_EQ(fake.findNext().error, FsError::IoError);
}

TEST(FakeSearch, CreateFolderAndShellOpenAreRecorded)
{
    FakePlatform fake;
    fake.addFolder("/out");
    EXPECT_EQ(fake.createFolder("/out/new"), FsError::None);
    EXPECT_TRUE(fake.isFolder("/out/new"));
    EXPECT_EQ(fake.createFolder("/out/new"), FsError::AlreadyExists);
    EXPECT_EQ(fake.createFolder("/missing/new"), FsError::ParentMissing);
    fake.denyCreateIn("/out");
    EXPECT_EQ(fake.createFolder("/out/other"), FsError::AccessDenied);
    fake.shellOpen("/out/", kShowNormal);
    EXPECT_EQ(fake.shellOpens(), (std::vector<FakePlatform::ShellOpen>{{"/out/", 5}}));
}

TEST(PosixExactSearch, ExactNameFirstThenTheOtherMatches)
{
    // An exact name is answered without reading the folder; continuing the search still finds the names that
    // differ in case or have a longer extension, each once.
    TempDir dir;
    auto root = dir.path().string();
    dir.write("Book1.xls", "x");
    dir.write("BOOK1.XLS", "x");
    dir.write("book1.xlsx", "x");
    dir.write("Book2.xls", "x");
    PosixPlatform platform;
    EXPECT_EQ(allNames(platform, root + "/Book1.xls", 0),
              (std::vector<std::string>{"Book1.xls", "BOOK1.XLS", "book1.xlsx"}));
    // A name that is not there exactly is still found in another case.
    EXPECT_EQ(allNames(platform, root + "/book1.XLS", 0),
              (std::vector<std::string>{"BOOK1.XLS", "Book1.xls", "book1.xlsx"}));
    // An exact folder with the files-only filter falls back to the folder's other matches.
    std::filesystem::create_directory(dir.path() / "Sub");
    dir.write("SUB", "x");
    EXPECT_EQ(allNames(platform, root + "/Sub", 0), (std::vector<std::string>{"SUB"}));
    EXPECT_EQ(allNames(platform, root + "/Sub", 16), (std::vector<std::string>{"Sub", "SUB"}));
    // Letters beyond ASCII are found in either case as well.
    dir.write("\xC3\xA9t\xC3\xA9.xls", "x");
    EXPECT_EQ(allNames(platform, root + "/\xC3\x89T\xC3\x89.XLS", 0),
              (std::vector<std::string>{"\xC3\xA9t\xC3\xA9.xls"}));
    // A new search drops what the previous one had deferred.
    EXPECT_EQ(platform.findFirst(root + "/Book2.xls", 0).name, "Book2.xls");
    EXPECT_EQ(platform.findFirst(root + "/missing", 0).name, "");
    EXPECT_EQ(platform.findNext().name, "");
}
