// The input list driven through the main window: Add Excel, Add Folder, Remove File, moves, clicks, Remove All.
#include "lists/ListWorkbooks.h"
#include "tests/lists/ListsWindow.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

namespace velquin::test {
namespace {

using Workbooks = std::vector<Workbook>;
using Texts = std::vector<std::string>;

class InputList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs.addFile("/data/one.xls");
        fs.addFile("/data/in/A.xls");
        fs.addFile("/data/in/notes.txt");
        fs.addFile("/data/in/B.xlsx");
        fs.addFile("/data/in/.hidden.xls");
        fs.addFile("/data/in/secret.xls", platform::attr::Hidden);
        fs.addFile("/data/in/sub/C.xls");
        fs.addFile("/data/two/D.xls");
        fs.addFile("/data/three/E.xls");
        fs.addFile("/data/three/F.xls");
    }

    /// Starts the window with `inputs` loaded from the saved list.
    app::form1& start(const Texts& inputs = {})
    {
        ui.saveLists(inputs, {"/out"});
        return ui.open();
    }

    void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    /// Counts the searches that list a folder's workbooks.
    class CountingPlatform : public platform::FakePlatform
    {
    public:
        platform::SearchResult findFirst(const std::string& pattern, int filter) override
        {
            folderListings += pattern.ends_with(lists::kWorkbookPattern) ? 1 : 0;
            return FakePlatform::findFirst(pattern, filter);
        }
        int folderListings = 0;
    };

    CountingPlatform fs;
    ListsWindow ui{fs};
};

TEST_F(InputList, AddExcelAppendsTheChosenFileSelectedWithIconOneAndListsIt)
{
    auto& w = start({"/data/in"});
    ui.dialogs.answerOpen("/data/one.xls");
    click(w.Command1);

    EXPECT_EQ(ui.inputs(), (Texts{"/data/in", "/data/one.xls"}));
    EXPECT_EQ(ui.images(), (std::vector<int>{2, 1}));
    EXPECT_EQ(ui.selectedInput(), 1);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"one.xls", true}}));

    ASSERT_EQ(ui.dialogs.openRequests().size(), 1u);
    const auto& request = ui.dialogs.openRequests().front();
    EXPECT_EQ(request.owner, &w);
    EXPECT_EQ(request.caption, "Select Excel File");
    EXPECT_EQ(request.filters, (std::vector<dialogs::FilterEntry>{{"Excel File(*.xls;*.xlsx)", "*.xls;*.xlsx"}}));
    EXPECT_TRUE(request.initialFile.empty());
}

TEST_F(InputList, AddCommandsGiveTheirIconWithoutLookingAtThePath)
{
    auto& w = start();
    ui.dialogs.answerOpen("/data/in");
    ui.dialogs.answerFolder("/gone/folder");
    w.AddExcel->trigger();
    w.AddFolder->trigger();

    EXPECT_EQ(ui.inputs(), (Texts{"/data/in", "/gone/folder"}));
    EXPECT_EQ(ui.images(), (std::vector<int>{1, 2}));
    EXPECT_EQ(ui.selectedInput(), 1);
    EXPECT_EQ(ui.workbooks(), Workbooks{});
}

TEST_F(InputList, CancelledOrEmptyDialogAnswersChangeNothing)
{
    auto& w = start({"/data/in", "/data/one.xls"});
    ui.clickInput(1);
    ui.dialogs.answerOpen(std::nullopt);
    ui.dialogs.answerFolder(std::nullopt);
    ui.dialogs.answerFolder("");
    click(w.Command1);
    click(w.Command5);
    click(w.Command5);

    EXPECT_EQ(ui.dialogs.dialogsShown(), 3u);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/in", "/data/one.xls"}));
    EXPECT_EQ(ui.selectedInput(), 1);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"one.xls", true}}));
}

TEST_F(InputList, SameFileAddedTwiceGivesTwoEntriesAndRemovingOneKeepsTheOther)
{
    auto& w = start();
    ui.dialogs.answerOpen("/data/one.xls");
    ui.dialogs.answerOpen("/data/one.xls");
    click(w.Command1);
    click(w.Command1);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/one.xls"}));

    click(w.Command2);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls"}));
    EXPECT_EQ(ui.selectedInput(), 0);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"one.xls", true}}));
}

TEST_F(InputList, AddFolderListsVisibleWorkbooksDirectlyInsideInFileSystemOrder)
{
    auto& w = start();
    ui.dialogs.answerFolder("/data/in");
    click(w.Command5);

    EXPECT_EQ(ui.inputs(), (Texts{"/data/in"}));
    EXPECT_EQ(ui.images(), (std::vector<int>{2}));
    EXPECT_EQ(ui.selectedInput(), 0);
    // .xlsx matches "*.xls"; hidden files, other types and the subfolder's C.xls do not appear.
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"A.xls", true}, {"B.xlsx", true}}));
    ASSERT_EQ(ui.dialogs.folderRequests().size(), 1u);
    EXPECT_EQ(ui.dialogs.folderRequests().front().title, "Add all excel files in folder");
    EXPECT_EQ(ui.dialogs.folderRequests().front().owner, &w);
}

TEST_F(InputList, FolderWithoutVisibleFilesIsAddedWithNothingListed)
{
    fs.addFolder("/data/empty/sub");
    fs.addFile("/data/empty/sub/G.xls");
    fs.addFile("/data/empty/.H.xls");
    auto& w = start();
    ui.dialogs.answerFolder("/data/empty/");
    click(w.Command5);

    EXPECT_EQ(ui.inputs(), (Texts{"/data/empty/"}));
    EXPECT_EQ(ui.workbooks(), Workbooks{});
}

TEST_F(InputList, SearchFailingMidwayKeepsWhatWasListed)
{
    fs.failSearchesIn("/data/in", platform::FsError::IoError, 1);
    auto& w = start({"/data/in"});
    ui.clickInput(0);

    EXPECT_EQ(ui.workbooks(), (Workbooks{{"A.xls", true}}));
    (void)w;
}

/// Records the main window's cursor at every directory search.
class CursorWatchingPlatform : public platform::FakePlatform
{
public:
    platform::SearchResult findFirst(const std::string& pattern, int filter) override
    {
        if (window != nullptr)
            shapes.push_back(window->cursor().shape());
        return FakePlatform::findFirst(pattern, filter);
    }

    QWidget* window = nullptr;
    std::vector<Qt::CursorShape> shapes;
};

TEST(InputListCursor, WaitCursorShowsWhileListingAndGoesAwayAfterAFailingSearch)
{
    CursorWatchingPlatform fs;
    fs.addFile("/data/in/A.xls");
    fs.addFile("/data/in/B.xls");
    fs.failSearchesIn("/data/in", platform::FsError::IoError, 1);
    ListsWindow ui(fs);
    auto& w = ui.open();
    fs.window = &w;
    ui.dialogs.answerFolder("/data/in");
    w.AddFolder->trigger();

    ASSERT_FALSE(fs.shapes.empty());
    for (Qt::CursorShape shape : fs.shapes)
        EXPECT_EQ(shape, Qt::WaitCursor);
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"A.xls", true}}));
}

TEST_F(InputList, RemoveFileSelectsThePreviousEntryOrTheNewFirstAndListsIt)
{
    struct Case
    {
        int removed;
        Texts left;
        int selected;
        Workbooks listed;
    };
    const Case cases[] = {
        {0, {"/data/two", "/data/three"}, 0, {{"D.xls", true}}},
        {1, {"/data/one.xls", "/data/three"}, 0, {{"one.xls", true}}},
        {2, {"/data/one.xls", "/data/two"}, 1, {{"D.xls", true}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.removed);
        ListsWindow window(fs);
        window.saveLists({"/data/one.xls", "/data/two", "/data/three"}, {});
        auto& w = window.open();
        window.clickInput(c.removed);
        w.RemoveItem->trigger();
        EXPECT_EQ(window.inputs(), c.left);
        EXPECT_EQ(window.selectedInput(), c.selected);
        EXPECT_EQ(window.workbooks(), c.listed);
    }
}

TEST_F(InputList, RemoveFileOnEmptyOrUnselectedListAndOnTheOnlyEntry)
{
    auto& w = start();
    click(w.Command2);
    EXPECT_EQ(ui.inputs(), Texts{});

    ui.dialogs.answerFolder("/data/in");
    click(w.Command5);
    ui.dialogs.answerOpen("/data/one.xls");
    click(w.Command1);
    w.ListView1->clearSelection();
    click(w.Command2);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/in", "/data/one.xls"})) << "nothing selected: nothing removed";

    w.RemoveAll->trigger();
    ui.dialogs.answerFolder("/data/in");
    click(w.Command5);
    click(w.Command2);
    EXPECT_EQ(ui.inputs(), Texts{});
    EXPECT_EQ(ui.workbooks(), Workbooks{});
}

TEST_F(InputList, MovesStopAtBothEndsAndKeepIconSelectionAndWorkbookList)
{
    auto& w = start({"/data/one.xls", "/data/two", "/data/in", "/missing", "/data/three"});
    ui.clickInput(0);
    click(w.Command3);
    EXPECT_EQ(ui.inputs().front(), "/data/one.xls");
    ui.clickInput(4);
    click(w.Command4);
    EXPECT_EQ(ui.inputs().back(), "/data/three");

    ui.clickInput(2);
    w.ListView2->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    click(w.Command3);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/in", "/data/two", "/missing", "/data/three"}));
    EXPECT_EQ(ui.images(), (std::vector<int>{1, 2, 2, 3, 2}));
    EXPECT_EQ(ui.selectedInput(), 1);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"A.xls", false}, {"B.xlsx", true}})) << "a move does not relist";

    click(w.Command4);
    click(w.Command4);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/two", "/missing", "/data/in", "/data/three"}));
    EXPECT_EQ(ui.images(), (std::vector<int>{1, 2, 3, 2, 2}));
    EXPECT_EQ(ui.selectedInput(), 3);
}

TEST_F(InputList, MovesWithNothingSelectedDoNothing)
{
    auto& w = start({"/data/one.xls", "/data/two"});
    click(w.Command3);
    click(w.Command4);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/two"}));
}

TEST_F(InputList, ClickingAgainChecksEveryWorkbookAgain)
{
    auto& w = start({"/data/three", "/data/in"});
    EXPECT_EQ(ui.workbooks(), Workbooks{}) << "nothing is listed at start";
    ui.clickInput(0);
    w.ListView2->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"E.xls", true}, {"F.xls", false}}));

    ui.clickInput(0);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"E.xls", true}, {"F.xls", true}}));
}

TEST_F(InputList, EachClickOrKeyListsTheSourceOnce)
{
    auto& w = start({"/data/three", "/data/two"});
    const auto listed = [&](int row) {
        const int before = fs.folderListings;
        if (row < 0)
            QTest::keyClick(w.ListView1, Qt::Key_Up);
        else
            ui.clickInput(row);
        return fs.folderListings - before;
    };
    EXPECT_EQ(listed(0), 1) << "a click that selects the entry";
    EXPECT_EQ(listed(0), 1) << "a click on the selected entry";
    EXPECT_EQ(listed(1), 1);
    EXPECT_EQ(listed(-1), 1) << "an arrow key";
    EXPECT_EQ(listed(0), 1) << "a click on the entry the key selected";
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"E.xls", true}, {"F.xls", true}}));
}

TEST_F(InputList, ClickOnAPathThatIsGoneListsNothing)
{
    auto& w = start({"/data/three", "/data/two"});
    ui.clickInput(0);
    fs.remove("/data/two");
    ui.clickInput(1);
    EXPECT_EQ(ui.workbooks(), Workbooks{});
    EXPECT_EQ(ui.images(), (std::vector<int>{2, 2})) << "the icon is not re-examined";
    (void)w;
}

TEST_F(InputList, WorkbookListFollowsSelectionByArrowKeysAndCtrlClick)
{
    auto& w = start({"/data/three", "/data/two"});
    ui.clickInput(0);
    w.ListView1->setFocus();
    QTest::keyClick(w.ListView1, Qt::Key_Down);
    EXPECT_EQ(ui.selectedInput(), 1);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"D.xls", true}}));

    ui.clickInput(1, Qt::ControlModifier);
    EXPECT_EQ(ui.selectedInput(), -1);
    EXPECT_EQ(ui.workbooks(), Workbooks{}) << "no workbooks without a selected source";
}

TEST_F(InputList, RemoveAllEmptiesBothListsButKeepsOutputDirectories)
{
    auto& w = start({"/data/three", "/data/two"});
    ui.clickInput(1);
    w.RemoveAll->trigger();
    EXPECT_EQ(ui.inputs(), Texts{});
    EXPECT_EQ(ui.workbooks(), Workbooks{});
    EXPECT_EQ(ui.outputs(), (Texts{"/out"}));
}

TEST_F(InputList, RemoveItemRemovesTheEntryThatMoved)
{
    auto& w = start({"/data/one.xls", "/data/two", "/data/three"});
    ui.clickInput(2);
    click(w.Command3);
    click(w.Command2);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/two"}));
    EXPECT_EQ(ui.selectedInput(), 0);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"one.xls", true}}));
}

/// Drags `mime` onto the input list and drops it there; returns the action the list answered the drop with,
/// IgnoreAction when it refused the drag.
Qt::DropAction dragAndDrop(app::form1& w, const QMimeData& mime,
                           Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction,
                           Qt::DropAction proposed = Qt::CopyAction)
{
    QWidget* target = w.ListView1->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(proposed);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent drop(QPointF(at), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    drop.setDropAction(proposed);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

TEST_F(InputList, DroppedFoldersAndWorkbooksAreAddedAndOtherFilesIgnored)
{
    auto& w = start({"/data/one.xls"});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/data/in/notes.txt"), QUrl::fromLocalFile("/data/two/"),
                  QUrl(QStringLiteral("https://example.com/remote.xls")), QUrl::fromLocalFile("/data/in/.hidden.xls"),
                  QUrl::fromLocalFile("/nowhere/X.xls"), QUrl::fromLocalFile("/data/in/B.xlsx")});
    EXPECT_EQ(dragAndDrop(w, mime), Qt::CopyAction);

    // A dropped path was named by the user: a hidden workbook is added like any other.
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/two", "/data/in/.hidden.xls", "/data/in/B.xlsx"}));
    EXPECT_EQ(ui.images(), (std::vector<int>{1, 2, 1, 1}));
    EXPECT_EQ(ui.selectedInput(), 3);
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"B.xlsx", true}}));
}

TEST_F(InputList, DroppedFilesAreTakenExactlyWhenTheListingWouldShowThem)
{
    auto& w = start();
    QList<QUrl> urls;
    for (const char* name : {"Binary.XLSB", "Macro.XlsM", "old.XLS", "Book.xl", "Book.xlsx.bak", "Book.xla", "xls"})
    {
        fs.addFile(std::string("/data/drop/") + name);
        urls << QUrl::fromLocalFile(QStringLiteral("/data/drop/") + QString::fromLatin1(name));
    }
    QMimeData mime;
    mime.setUrls(urls);
    EXPECT_EQ(dragAndDrop(w, mime), Qt::CopyAction);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/drop/Binary.XLSB", "/data/drop/Macro.XlsM", "/data/drop/old.XLS"}));

    lists::ListWorkbooks(fs, *w.ListView2, "/data/drop");
    EXPECT_EQ(ui.workbooks(), (Workbooks{{"Binary.XLSB", true}, {"Macro.XlsM", true}, {"old.XLS", true}}))
        << "the listing of the folder shows the same files";
}

TEST_F(InputList, DragsWithoutLocalFilesAreRefusedEvenTheListsOwnItems)
{
    auto& w = start({"/data/one.xls", "/data/two"});
    QMimeData text;
    text.setText(QStringLiteral("/data/three"));
    EXPECT_EQ(dragAndDrop(w, text), Qt::IgnoreAction);

    const QModelIndex first = w.ListView1->model()->index(0, 0);
    std::unique_ptr<QMimeData> items(w.ListView1->model()->mimeData({first}));
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(dragAndDrop(w, *items), Qt::IgnoreAction);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/two"}));
}

TEST_F(InputList, DropNeverAnswersWithAMoveThatWouldDeleteTheDroppedFiles)
{
    auto& w = start();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/data/one.xls")});
    EXPECT_EQ(dragAndDrop(w, mime, Qt::CopyAction | Qt::MoveAction, Qt::MoveAction), Qt::CopyAction);
    EXPECT_EQ(dragAndDrop(w, mime, Qt::MoveAction | Qt::LinkAction, Qt::MoveAction), Qt::LinkAction);
    EXPECT_EQ(dragAndDrop(w, mime, Qt::MoveAction, Qt::MoveAction), Qt::IgnoreAction);
    EXPECT_EQ(ui.inputs(), (Texts{"/data/one.xls", "/data/one.xls"}));
}

} // namespace
} // namespace velquin::test
