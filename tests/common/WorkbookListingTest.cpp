// The workbooks of a source on a real folder, as the window and velquin-convert both list them.
#include "common/WorkbookListing.h"

#include "platform/FakePlatform.h"
#include "platform/PosixPlatform.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velquin::test {
namespace {

using common::listWorkbookNames;
using testing::ElementsAre;
using testing::IsEmpty;

TEST(WorkbookListing, FolderListsItsOwnVisibleWorkbooksOfAnyCase)
{
    TempDir dir;
    for (const char* name : {"b.xlsx", "a.XLS", "c.xlsm", "d.xlsb", "e.xl", "notes.txt", ".hidden.xls", "sub/f.xls"})
        dir.write(name, "x");
    std::filesystem::create_directory(dir.file("folder.xls"));
    platform::PosixPlatform platform;
    EXPECT_THAT(listWorkbookNames(platform, dir.path().string()), ElementsAre("a.XLS", "b.xlsx", "c.xlsm", "d.xlsb"));
    EXPECT_THAT(listWorkbookNames(platform, dir.path().string() + "/"),
                ElementsAre("a.XLS", "b.xlsx", "c.xlsm", "d.xlsb"));
    EXPECT_THAT(listWorkbookNames(platform, dir.file("notes.txt")), ElementsAre("notes.txt"));
    EXPECT_THAT(listWorkbookNames(platform, dir.file("gone")), IsEmpty());
}

TEST(WorkbookListing, EmptySourceDoesNotListTheRootFolder)
{
    platform::FakePlatform fs;
    fs.addFile("/root.xls");
    EXPECT_THAT(listWorkbookNames(fs, ""), IsEmpty());
    EXPECT_THAT(listWorkbookNames(fs, "/"), ElementsAre("root.xls"));
}

} // namespace
} // namespace velquin::test
