// The output directory box driven through the main window: Browse, View, Remove Current, Remove All, typed paths.
#include "tests/lists/ListsWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <gtest/gtest.h>

namespace velquin::test {
namespace {

using Texts = std::vector<std::string>;
using ShellOpens = std::vector<platform::FakePlatform::ShellOpen>;

class OutputList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs.addFolder("/out/A");
        fs.addFolder("/out/B");
        fs.addFolder("/out/C");
        fs.addFile("/out/report.xml");
    }

    app::form1& start(const Texts& outputs)
    {
        ui.saveLists({}, outputs);
        return ui.open();
    }

    void browse(app::form1& w, const std::optional<std::string>& answer)
    {
        ui.dialogs.answerFolder(answer);
        QTest::mouseClick(w.Command10, Qt::LeftButton);
    }

    /// Selects entry `index` as the user does, from the box's drop-down list.
    void choose(app::form1& w, int index)
    {
        w.Combo2->showPopup();
        QAbstractItemView* popup = w.Combo2->view();
        const QRect rect = popup->visualRect(popup->model()->index(index, 0));
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void type(app::form1& w, const QString& text)
    {
        QLineEdit* edit = w.Combo2->lineEdit();
        // The box completes only while it has the keyboard focus, as it has when the user types.
        QApplication::setActiveWindow(&w);
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    platform::FakePlatform fs;
    ListsWindow ui{fs};
};

TEST_F(OutputList, BrowseInsertsEveryChoiceAtTheTopAndShowsIt)
{
    auto& w = start({});
    EXPECT_EQ(w.Combo2ListIndex(), -1);
    browse(w, "/out/A");
    browse(w, "/out/B");
    EXPECT_EQ(ui.outputs(), (Texts{"/out/B", "/out/A"}));
    browse(w, "/out/A");

    EXPECT_EQ(ui.outputs(), (Texts{"/out/A", "/out/B", "/out/A"}));
    EXPECT_EQ(ui.outputText(), "/out/A");
    EXPECT_EQ(w.Combo2ListIndex(), 0);
    ASSERT_EQ(ui.dialogs.folderRequests().size(), 3u);
    EXPECT_EQ(ui.dialogs.folderRequests().front().title, "Add all word files in folder");
    EXPECT_EQ(ui.dialogs.folderRequests().front().owner, &w);
}

TEST_F(OutputList, CancelledOrEmptyBrowseChangesNothing)
{
    auto& w = start({"/out/A", "/out/B"});
    choose(w, 1);
    browse(w, std::nullopt);
    browse(w, "");
    EXPECT_EQ(ui.outputs(), (Texts{"/out/A", "/out/B"}));
    EXPECT_EQ(ui.outputText(), "/out/B");
    EXPECT_EQ(w.Combo2ListIndex(), 1);
}

TEST_F(OutputList, RemoveCurrentChoosesTheFollowerOrTheNewLastEntry)
{
    struct Case
    {
        int removed;
        Texts left;
        int chosen;
    };
    const Case cases[] = {
        {0, {"/out/B", "/out/C"}, 0},
        {1, {"/out/A", "/out/C"}, 1},
        {2, {"/out/A", "/out/B"}, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.removed);
        ListsWindow window(fs);
        window.saveLists({}, {"/out/A", "/out/B", "/out/C"});
        auto& w = window.open();
        choose(w, c.removed);
        ASSERT_EQ(w.Combo2ListIndex(), c.removed);
        w.Removeoutput->trigger();
        EXPECT_EQ(window.outputs(), c.left);
        EXPECT_EQ(w.Combo2ListIndex(), c.chosen);
        EXPECT_EQ(window.outputText(), c.left[static_cast<std::size_t>(c.chosen)]);
    }
}

TEST_F(OutputList, RemovingTheOnlyEntryLeavesAnEmptyBoxWithNothingChosen)
{
    auto& w = start({"/out/A"});
    EXPECT_EQ(w.Combo2ListIndex(), 0) << "the first entry is chosen at start";
    w.Removeoutput->trigger();
    EXPECT_EQ(ui.outputs(), Texts{});
    EXPECT_EQ(w.Combo2ListIndex(), -1);
    EXPECT_EQ(ui.outputText(), "");
    w.Removeoutput->trigger();
    EXPECT_EQ(ui.outputs(), Texts{});
}

TEST_F(OutputList, TypedPathLeavesNoEntryChosenUntilOneIsChosenAgain)
{
    auto& w = start({"/out/A", "/out/B"});
    type(w, QStringLiteral("/out/typed"));
    EXPECT_EQ(ui.outputText(), "/out/typed");
    EXPECT_EQ(w.Combo2ListIndex(), -1);

    w.Removeoutput->trigger();
    EXPECT_EQ(ui.outputs(), (Texts{"/out/A", "/out/B"})) << "Remove current must not remove a hidden choice";
    EXPECT_EQ(ui.outputText(), "/out/typed");

    // The same entry Qt still counts as current must register as a fresh choice.
    choose(w, 0);
    EXPECT_EQ(ui.outputText(), "/out/A");
    EXPECT_EQ(w.Combo2ListIndex(), 0);
    EXPECT_EQ(ui.outputs(), (Texts{"/out/A", "/out/B"})) << "a typed path never becomes an entry";

    type(w, QStringLiteral("/out/other"));
    QTest::keyClick(w.Combo2->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(w.Combo2ListIndex(), -1);
    EXPECT_EQ(ui.outputs(), (Texts{"/out/A", "/out/B"}));
}

TEST_F(OutputList, TheBoxHoldsExactlyWhatWasTyped)
{
    auto& w = start({"/data/outgoing", "/data/Other"});
    // A prefix of a remembered folder is not completed into it, neither while typing nor on Return or leaving.
    type(w, QStringLiteral("/data/out"));
    EXPECT_EQ(ui.outputText(), "/data/out");
    QTest::keyClick(w.Combo2->lineEdit(), Qt::Key_Return);
    QTest::keyClick(w.Combo2->lineEdit(), Qt::Key_Tab);
    EXPECT_EQ(ui.outputText(), "/data/out");
    EXPECT_EQ(w.Combo2ListIndex(), -1);

    // A path that differs from a remembered one only in case is another folder here.
    type(w, QStringLiteral("/data/other"));
    QTest::keyClick(w.Combo2->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(ui.outputText(), "/data/other");
    EXPECT_EQ(w.Combo2ListIndex(), -1);

    // Typing a remembered folder's whole path gives that folder.
    type(w, QStringLiteral("/data/outgoing"));
    QTest::keyClick(w.Combo2->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(ui.outputText(), "/data/outgoing");
    EXPECT_EQ(ui.outputs(), (Texts{"/data/outgoing", "/data/Other"}));
}

TEST_F(OutputList, BrowseAfterTypingChoosesTheNewEntry)
{
    auto& w = start({"/out/A"});
    type(w, QStringLiteral("/elsewhere"));
    browse(w, "/out/B");
    EXPECT_EQ(ui.outputs(), (Texts{"/out/B", "/out/A"}));
    EXPECT_EQ(ui.outputText(), "/out/B");
    EXPECT_EQ(w.Combo2ListIndex(), 0);
}

TEST_F(OutputList, RemoveAllEmptiesTheBoxAndLeavesTheInputList)
{
    ui.saveLists({"/out/A"}, {"/out/A", "/out/B", "/out/C"});
    auto& w = ui.open();
    choose(w, 1);
    w.RemoveAllOutput->trigger();
    EXPECT_EQ(ui.outputs(), Texts{});
    EXPECT_EQ(ui.outputText(), "");
    EXPECT_EQ(w.Combo2ListIndex(), -1);
    EXPECT_EQ(ui.inputs(), (Texts{"/out/A"}));

    w.RemoveAllOutput->trigger();
    EXPECT_EQ(ui.outputs(), Texts{});
}

TEST_F(OutputList, ViewOpensOnlyAnExistingFolder)
{
    auto& w = start({"/out/A", "/out/report.xml", "/out/B"});
    QTest::mouseClick(w.Command11, Qt::LeftButton);
    EXPECT_EQ(fs.shellOpens(), (ShellOpens{{"/out/A", platform::kShowNormal}}));

    choose(w, 1);
    QTest::mouseClick(w.Command11, Qt::LeftButton);
    fs.remove("/out/B");
    choose(w, 2);
    QTest::mouseClick(w.Command11, Qt::LeftButton);
    type(w, QString());
    QTest::mouseClick(w.Command11, Qt::LeftButton);
    EXPECT_EQ(fs.shellOpens().size(), 1u) << "a file, a deleted folder and an empty box open nothing";

    type(w, QStringLiteral("/out/C"));
    QTest::mouseClick(w.Command11, Qt::LeftButton);
    fs.addFolder("/out/D");
    browse(w, "/out/D");
    QTest::mouseClick(w.Command11, Qt::LeftButton);
    EXPECT_EQ(fs.shellOpens(), (ShellOpens{{"/out/A", platform::kShowNormal},
                                           {"/out/C", platform::kShowNormal},
                                           {"/out/D", platform::kShowNormal}}));
}

} // namespace
} // namespace velquin::test
