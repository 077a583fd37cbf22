// ListWorkbooks on a real folder: what the directory search reports is what the workbook list shows.
#include "lists/ListWorkbooks.h"

#include "platform/FakePlatform.h"
#include "platform/PosixPlatform.h"
#include "tests/support/TestSupport.h"

#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

namespace velquin::test {
namespace {

using lists::ListWorkbooks;

std::vector<std::string> listedNames(const QTreeWidget& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.topLevelItemCount(); ++i)
    {
        EXPECT_EQ(list.topLevelItem(i)->checkState(0), Qt::Checked);
        names.push_back(list.topLevelItem(i)->text(0).toStdString());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ListWorkbooks, RealFolderListsItsOwnVisibleWorkbooksOfAnyCase)
{
    TempDir dir;
    for (const char* name : {"A.xls", "B.xls", "c.XLSX", "d.xlsm", ".hidden.xls", "notes.txt", "sub/C.xls"})
        dir.write(name, "x");
    std::filesystem::create_directory(dir.path() / "folder.xls");
    platform::PosixPlatform platform;
    QTreeWidget list;
    new QTreeWidgetItem(&list, QStringList{QStringLiteral("stale")});

    ListWorkbooks(platform, list, dir.path().string());
    EXPECT_EQ(listedNames(list), (std::vector<std::string>{"A.xls", "B.xls", "c.XLSX", "d.xlsm"}));

    ListWorkbooks(platform, list, dir.path().string() + "/");
    EXPECT_EQ(listedNames(list), (std::vector<std::string>{"A.xls", "B.xls", "c.XLSX", "d.xlsm"}));
}

TEST(ListWorkbooks, FileListsItsNameAndMissingOrEmptyPathsListNothing)
{
    TempDir dir;
    const std::string book = dir.write("Q1 Sales.2009.xls", "x");
    const std::string hidden = dir.write(".work/.book.xls", "x");
    platform::PosixPlatform platform;
    QTreeWidget list;

    ListWorkbooks(platform, list, book);
    EXPECT_EQ(listedNames(list), (std::vector<std::string>{"Q1 Sales.2009.xls"}));
    // A hidden workbook the user named is listed; so are the workbooks of a hidden folder the user named.
    ListWorkbooks(platform, list, hidden);
    EXPECT_EQ(listedNames(list), (std::vector<std::string>{".book.xls"}));
    dir.write(".work/Book1.xls", "x");
    ListWorkbooks(platform, list, dir.file(".work"));
    EXPECT_EQ(listedNames(list), (std::vector<std::string>{"Book1.xls"}));

    ListWorkbooks(platform, list, dir.file("gone"));
    EXPECT_EQ(list.topLevelItemCount(), 0);
}

TEST(ListWorkbooks, EmptySourceDoesNotListTheRootFolder)
{
    platform::FakePlatform fs;
    fs.addFile("/root.xls");
    QTreeWidget list;
    ListWorkbooks(fs, list, "");
    EXPECT_EQ(list.topLevelItemCount(), 0);
    ListWorkbooks(fs, list, "/");
    EXPECT_EQ(listedNames(list), (std::vector<std::string>{"root.xls"}));
}

} // namespace
} // namespace velquin::test
