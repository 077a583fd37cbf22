// GetPathType over the real file system and over failures of the platform.
#include "common/PathType.h"

#include "common/Paths.h"
#include "platform/FakePlatform.h"
#include "platform/PosixPlatform.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace velquin::common;
using velquin::platform::FakePlatform;
using velquin::platform::FsError;
using velquin::platform::PosixPlatform;

TEST(PathType, FilesFoldersAndMissingPaths)
{
    velquin::test::TempDir dir;
    auto root = dir.path().string();
    dir.write("Book1.xls", "x");
    dir.write("sub/inner.xls", "x");
    std::filesystem::create_directory(dir.path() / "empty");
    PosixPlatform platform;
    EXPECT_EQ(GetPathType(platform, root + "/Book1.xls"), PathType::File);
    EXPECT_EQ(GetPathType(platform, root + "/sub"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/sub/"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/empty"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/empty/"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, "/"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/Book1.xls/"), PathType::Missing);
    EXPECT_EQ(GetPathType(platform, root + "/gone"), PathType::Missing);
    EXPECT_EQ(GetPathType(platform, root + "/gone/x.xls"), PathType::Missing);
    EXPECT_EQ(GetPathType(platform, ""), PathType::Missing);
}

TEST(PathType, NamedHiddenEntriesExistButWildcardsAndPipesCountAsMissing)
{
    velquin::test::TempDir dir;
    auto root = dir.path().string();
    dir.write(".hidden.xls", "x");
    dir.write(".work/books/inside.xls", "x");
    dir.write("Book1.xls", "x");
    ASSERT_EQ(::mkfifo((root + "/pipe.xls").c_str(), 0600), 0);
    PosixPlatform platform;
    EXPECT_EQ(GetPathType(platform, root + "/.hidden.xls"), PathType::File);
    EXPECT_EQ(GetPathType(platform, root + "/.work"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/.work/"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/.work/books"), PathType::Folder);
    EXPECT_EQ(GetPathType(platform, root + "/.work/books/inside.xls"), PathType::File);
    EXPECT_EQ(GetPathType(platform, root + "/pipe.xls"), PathType::Missing);
    EXPECT_EQ(GetPathType(platform, root + "/*.xls"), PathType::Missing);
    EXPECT_EQ(GetPathType(platform, root + "/Book?.xls"), PathType::Missing);
}

TEST(PathType, AnyPlatformErrorGivesMissing)
{
    FakePlatform fake;
    fake.addFile("/in/a.xls");
    fake.addFolder("/in/f");
    EXPECT_EQ(GetPathType(fake, "/in/a.xls"), PathType::File);
    EXPECT_EQ(GetPathType(fake, "/in/f"), PathType::Folder);
    fake.failAttributes("/in/a.xls", FsError::IoError);
    EXPECT_EQ(GetPathType(fake, "/in/a.xls"), PathType::Missing);
    fake.failSearchesIn("/in", FsError::AccessDenied);
    EXPECT_EQ(GetPathType(fake, "/in/f"), PathType::Missing);
}

TEST(Paths, JoinAlwaysPutsOneSeparator)
{
    EXPECT_EQ(joinPath("/a", "b"), "/a/b");
    EXPECT_EQ(joinPath("/a//", "b"), "/a/b");
    EXPECT_EQ(joinPath("", "help.chm"), "/help.chm");
    EXPECT_EQ(fileNameOf("/a/b/Book1.xls"), "Book1.xls");
    EXPECT_EQ(fileNameOf("Book1.xls"), "Book1.xls");
}

TEST(Paths, ApplicationPathIsTheFolderOfTheExecutable)
{
    auto path = applicationPath();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(path) / "test_common"));
}
