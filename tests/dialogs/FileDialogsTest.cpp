// The open, save and folder dialogs of CCommonDialogs, driven through the scripted backend.
#include "dialogs/CCommonDialogs.h"
#include "dialogs/ScriptedDialogBackend.h"
#include "tests/support/TestSupport.h"

#include <QWidget>
#include <gtest/gtest.h>

using velquin::dialogs::CCommonDialogs;
using velquin::dialogs::DialogErrc;
using velquin::dialogs::FilterEntry;
using velquin::dialogs::ScriptedDialogBackend;

namespace {

const std::string appPath = "/opt/velquin/bin";

class FileDialogs : public ::testing::Test
{
protected:
    CCommonDialogs makeDialogs()
    {
        CCommonDialogs dialogs(backend, appPath);
        dialogs.Init(&owner);
        return dialogs;
    }

    QWidget owner;
    ScriptedDialogBackend backend;
};

TEST(DialogProperties, TextPropertiesReadUpToFirstNulExceptFilterDefExtAndFontName)
{
    ScriptedDialogBackend backend;
    CCommonDialogs dialogs(backend, appPath);
    const std::string withNul("abc\0def", 7);
    dialogs.setTitle(withNul);
    dialogs.setPath(withNul);
    dialogs.setFileTitle(withNul);
    dialogs.setFileName(withNul);
    dialogs.setFilter(withNul);
    dialogs.setDefExt(withNul);
    dialogs.setFontName(withNul);

    EXPECT_EQ(dialogs.Title(), "abc");
    EXPECT_EQ(dialogs.Path(), "abc");
    EXPECT_EQ(dialogs.FileTitle(), "abc");
    EXPECT_EQ(dialogs.FileName(), "abc");
    EXPECT_EQ(dialogs.Filter(), withNul);
    EXPECT_EQ(dialogs.DefExt(), withNul);
    EXPECT_EQ(dialogs.FontName(), withNul);
}

TEST_F(FileDialogs, OpenGivesFullPathNameAndFolderOfTheChosenFile)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setTitle("Select Excel File");
    backend.answerOpen("/home/ann/reports/2009/Q1 Sales.xls");

    ASSERT_TRUE(dialogs.ShowOpen());

    EXPECT_EQ(dialogs.FileName(), "/home/ann/reports/2009/Q1 Sales.xls");
    EXPECT_EQ(dialogs.FileTitle(), "Q1 Sales.xls");
    EXPECT_EQ(dialogs.Path(), "/home/ann/reports/2009");
    ASSERT_EQ(backend.openRequests().size(), 1u);
    const auto& request = backend.openRequests().front();
    EXPECT_EQ(request.owner, &owner);
    EXPECT_EQ(request.caption, "Select Excel File");
    EXPECT_TRUE(request.fileMustExist);
    EXPECT_TRUE(request.hideReadOnly);
}

TEST_F(FileDialogs, FileInRootFolderGivesRootAsPath)
{
    CCommonDialogs dialogs = makeDialogs();
    backend.answerOpen("/book.xls");

    ASSERT_TRUE(dialogs.ShowOpen());

    EXPECT_EQ(dialogs.Path(), "/");
    EXPECT_EQ(dialogs.FileTitle(), "book.xls");
}

TEST_F(FileDialogs, OpenStartsFromFileNameButIgnoresPath)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFileName("/data/old.xls");
    dialogs.setPath("/somewhere/else");
    dialogs.setDefExt("xls");

    EXPECT_FALSE(dialogs.ShowOpen());

    const auto& request = backend.openRequests().at(0);
    EXPECT_EQ(request.initialFile, "/data/old.xls");
    EXPECT_EQ(request.initialFolder, "");
    EXPECT_EQ(request.defaultExtension, "xls");
}

TEST_F(FileDialogs, CancelInAnyFileDialogKeepsEveryResultProperty)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFileName("/a/b.xls");
    dialogs.setFileTitle("b.xls");
    dialogs.setPath("/a");

    const auto open = dialogs.ShowOpen();
    const auto folder = dialogs.ShowFolder();

    EXPECT_FALSE(open);
    EXPECT_EQ(open.error(), DialogErrc::None);
    EXPECT_FALSE(folder);
    EXPECT_EQ(folder.error(), DialogErrc::None);
    EXPECT_EQ(dialogs.FileName(), "/a/b.xls");
    EXPECT_EQ(dialogs.FileTitle(), "b.xls");
    EXPECT_EQ(dialogs.Path(), "/a");
}

TEST_F(FileDialogs, WithoutOwnerFileDialogsFailBeforeShowing)
{
    CCommonDialogs dialogs(backend, appPath);
    dialogs.setPath("/nowhere/at/all");
    backend.answerOpen("/x.xls");
    backend.answerFolder("/x");

    EXPECT_EQ(dialogs.ShowOpen().error(), DialogErrc::NoOwner);
    EXPECT_EQ(dialogs.ShowFolder().error(), DialogErrc::NoOwner);
    const auto save = dialogs.ShowSave();

    EXPECT_FALSE(save);
    EXPECT_EQ(save.error(), DialogErrc::NoOwner);
    EXPECT_EQ(backend.dialogsShown(), 0u);
    // The save dialog settles its folder before it looks for the owner.
    EXPECT_EQ(dialogs.Path(), appPath);
}

TEST_F(FileDialogs, OwnerDestroyedAfterInitCountsAsNoOwner)
{
    CCommonDialogs dialogs(backend, appPath);
    {
        QWidget shortLived;
        dialogs.Init(&shortLived);
    }
    EXPECT_EQ(dialogs.ShowFolder().error(), DialogErrc::NoOwner);
}

TEST_F(FileDialogs, OpenRejectsFileNameOver260Characters)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFileName("/" + std::string(260, 'a'));

    const auto result = dialogs.ShowOpen();

    EXPECT_EQ(result.error(), DialogErrc::InvalidArgument);
    EXPECT_EQ(backend.dialogsShown(), 0u);

    // 260 characters of two bytes each still fit: the limit counts characters.
    std::string accented;
    for (int i = 0; i < 260; ++i)
        accented += "\xC3\xA9";
    dialogs.setFileName(accented);
    EXPECT_EQ(dialogs.ShowOpen().error(), DialogErrc::None);
    EXPECT_EQ(backend.openRequests().size(), 1u);
}

TEST_F(FileDialogs, SaveAppendsSlashToExistingFolderEvenWhenCancelled)
{
    velquin::test::TempDir dir;
    const std::string folder = dir.path().string();
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setPath(folder);

    EXPECT_FALSE(dialogs.ShowSave());

    EXPECT_EQ(dialogs.Path(), folder + "/");
    EXPECT_EQ(backend.saveRequests().at(0).initialFolder, folder + "/");
}

TEST_F(FileDialogs, SaveFallsBackToApplicationPathForMissingOrBlankFolder)
{
    velquin::test::TempDir dir;
    for (const std::string& start : {dir.file("gone"), std::string(), std::string("   ")})
    {
        CCommonDialogs dialogs = makeDialogs();
        dialogs.setPath(start);
        EXPECT_FALSE(dialogs.ShowSave());
        EXPECT_EQ(dialogs.Path(), appPath) << "starting from '" << start << "'";
    }
}

TEST_F(FileDialogs, SaveIgnoresTitleDefExtAndFileNameAndPreselectsFirstType)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setTitle("My caption");
    dialogs.setDefExt("xml");
    dialogs.setFileName("/a/b.xml");
    dialogs.setFilter("XML|*.xml|All|*.*");
    backend.answerSave("/out/result.xml");

    ASSERT_TRUE(dialogs.ShowSave());

    const auto& request = backend.saveRequests().at(0);
    EXPECT_EQ(request.caption, "Save");
    EXPECT_EQ(request.defaultExtension, "");
    EXPECT_EQ(request.initialFile, "");
    EXPECT_EQ(request.filterIndex, 1);
    EXPECT_FALSE(request.overwritePrompt);
    EXPECT_FALSE(request.fileMustExist);
    EXPECT_EQ(dialogs.FileName(), "/out/result.xml");
    EXPECT_EQ(dialogs.FileTitle(), "result.xml");
    EXPECT_EQ(dialogs.Path(), "/out");
}

TEST_F(FileDialogs, FolderGivesPathAndEmptiesFileProperties)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setTitle("Add all excel files in folder");
    dialogs.setFileName("/a/b.xls");
    dialogs.setFileTitle("b.xls");
    backend.answerFolder("/");

    ASSERT_TRUE(dialogs.ShowFolder());

    EXPECT_EQ(dialogs.Path(), "/");
    EXPECT_EQ(dialogs.FileName(), "");
    EXPECT_EQ(dialogs.FileTitle(), "");
    EXPECT_EQ(backend.folderRequests().at(0).title, "Add all excel files in folder");
    EXPECT_EQ(backend.folderRequests().at(0).owner, &owner);
}

TEST_F(FileDialogs, BothFileDialogsReceiveTheSameTypesFromABarSeparatedFilter)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFilter("Excel|*.xls;*.xlsx|Text|*.txt");
    dialogs.setPath(appPath);

    EXPECT_FALSE(dialogs.ShowOpen());
    EXPECT_FALSE(dialogs.ShowSave());

    const std::vector<FilterEntry> expected{{"Excel", "*.xls;*.xlsx"}, {"Text", "*.txt"}};
    EXPECT_EQ(backend.openRequests().at(0).filters, expected);
    EXPECT_EQ(backend.saveRequests().at(0).filters, expected);
}

TEST_F(FileDialogs, NulSeparatedFilterOfAddExcelGivesOneType)
{
    CCommonDialogs dialogs = makeDialogs();
    dialogs.setFilter(std::string("Excel File(*.xls;*.xlsx)\0*.xls;*.xlsx\0", 39));

    EXPECT_FALSE(dialogs.ShowOpen());

    const std::vector<FilterEntry> expected{{"Excel File(*.xls;*.xlsx)", "*.xls;*.xlsx"}};
    EXPECT_EQ(backend.openRequests().at(0).filters, expected);
}

TEST_F(FileDialogs, BlankFilterOffersNothingToOpenAndEverythingToSave)
{
    for (const std::string& blank : {std::string(), std::string("   ")})
    {
        ScriptedDialogBackend fresh;
        CCommonDialogs dialogs(fresh, appPath);
        dialogs.Init(&owner);
        dialogs.setFilter(blank);
        EXPECT_FALSE(dialogs.ShowSave());
        const std::vector<FilterEntry> everything{{"*.*", "*.*"}};
        EXPECT_EQ(fresh.saveRequests().at(0).filters, everything);
    }
    CCommonDialogs dialogs = makeDialogs();
    EXPECT_FALSE(dialogs.ShowOpen());
    EXPECT_TRUE(backend.openRequests().at(0).filters.empty());
}

} // namespace
