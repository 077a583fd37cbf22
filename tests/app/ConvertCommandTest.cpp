// The Convert command in the window: a folder added through the dialog, one workbook unchecked, a typed output
// folder, and the batch run from the button or the menu, on an in-memory file tree and a fake converter.
#include "app/form1.h"
#include "tests/convert/FakeAutomation.h"
#include "tests/lists/ListsWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

using velquin::common::MessageIcon;
using velquin::platform::FakePlatform;
using velquin::test::FakeAutomation;
using Strings = std::vector<std::string>;

namespace {

class ConvertCommand : public ::testing::Test
{
protected:
    ConvertCommand()
    {
        fs.addFolder("/data/books");
        for (const char* name : {"Q1 Sales.2009.xls", "skip me.xlsx", "Data.xlsm"})
            fs.addFile(std::string("/data/books/") + name);
        fs.addFile("/data/books/notes.txt");
        fs.addFolder("/out");
        automation.onSave = [this](const std::string&, const std::string& output) { fs.addFile(output); };
    }

    /// Opens the window with the fake converter, adds the folder through the dialog and types an output folder.
    velquin::app::form1& prepared(const std::string& typedOutput)
    {
        m_window = std::make_unique<velquin::app::form1>(velquin::app::Services{
            fs, ui.messages, ui.helpKeys, "/opt/velquin", ui.stateDir.path().string(), &ui.dialogs, &automation, {}});
        m_window->show();
        ui.dialogs.answerFolder("/data/books");
        QTest::mouseClick(m_window->Command5, Qt::LeftButton);
        QTest::keyClicks(m_window->Combo2->lineEdit(), QString::fromStdString(typedOutput));
        return *m_window;
    }

    Strings savedFiles() const
    {
        Strings saved;
        for (const auto& call : automation.calls)
            if (call.rfind("SaveAs ", 0) == 0)
                saved.push_back(call.substr(7));
        return saved;
    }

    Strings messages() const
    {
        Strings texts;
        for (const auto& shown : ui.messages.shown())
            texts.push_back(shown.text);
        return texts;
    }

    FakePlatform fs;
    FakeAutomation automation;
    velquin::test::ListsWindow ui{fs};
    std::unique_ptr<velquin::app::form1> m_window;
};

} // namespace

TEST_F(ConvertCommand, ConvertsTheCheckedWorkbooksIntoATypedFolder)
{
    auto& window = prepared("/out/new");
    ASSERT_EQ(window.ListView2->topLevelItemCount(), 3);
    for (int i = 0; i < 3; ++i)
    {
        if (window.ListView2->topLevelItem(i)->text(0) == "skip me.xlsx")
            window.ListView2->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
    }

    // In the middle of the batch the pointer is the hourglass and the bar has moved.
    std::vector<Qt::CursorShape> cursors;
    std::vector<int> values;
    automation.onCreate = [&] {
        cursors.push_back(window.cursor().shape());
        values.push_back(window.ProgressBar1->value());
    };
    QTest::mouseClick(window.Command6, Qt::LeftButton);

    Strings saved = savedFiles();
    std::sort(saved.begin(), saved.end());
    EXPECT_EQ(saved, (Strings{"/out/new/Data.xml 46", "/out/new/Q1Sales2009.xml 46"}));
    EXPECT_TRUE(fs.isFolder("/out/new"));
    EXPECT_TRUE(fs.exists("/out/new/Q1Sales2009.xml"));
    EXPECT_FALSE(fs.exists("/out/new/skipme.xml"));
    EXPECT_EQ(fs.shellOpens(), (std::vector<FakePlatform::ShellOpen>{{"/out/new/", 5}}));
    EXPECT_TRUE(ui.messages.shown().empty());
    EXPECT_EQ(window.ProgressBar1->value(), 0);
    EXPECT_EQ(window.ProgressBar1->maximum(), 3);
    EXPECT_EQ(cursors, (std::vector<Qt::CursorShape>{Qt::WaitCursor, Qt::WaitCursor}));
    EXPECT_EQ(values.front(), 0);
    EXPECT_GE(values.back(), 1);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
    // The typed folder is used, not remembered.
    EXPECT_EQ(window.Combo2->count(), 0);
}

TEST_F(ConvertCommand, TheMenuItemRunsTheSameCommandAndFailuresAreReported)
{
    auto& window = prepared("/out");
    automation.fail("Open", 1006, "The file is damaged.", "Data.xlsm");
    window.Separate->trigger();
    EXPECT_EQ(messages(), (Strings{"The file is damaged.", "Convert Data file failed!"}));
    EXPECT_EQ(ui.messages.shown()[0].icon, MessageIcon::None);
    EXPECT_EQ(ui.messages.shown()[1].icon, MessageIcon::Critical);
    EXPECT_EQ(savedFiles().size(), 2u);
    EXPECT_EQ(fs.shellOpens().size(), 1u);
    EXPECT_EQ(window.ProgressBar1->value(), 0);
}

TEST_F(ConvertCommand, RefusalsConvertNothing)
{
    m_window = std::make_unique<velquin::app::form1>(velquin::app::Services{
        fs, ui.messages, ui.helpKeys, "/opt/velquin", ui.stateDir.path().string(), &ui.dialogs, &automation, {}});
    auto& window = *m_window;
    window.show();
    QTest::mouseClick(window.Command6, Qt::LeftButton);
    EXPECT_EQ(messages(), Strings{"Please select excel at fast!"});

    ui.dialogs.answerFolder("/data/books");
    QTest::mouseClick(window.Command5, Qt::LeftButton);
    const char* typed[] = {"", "/missing/parent/out", "/data/books/notes.txt"};
    const char* expected[] = {"Please select output folder", "Failed to create folder!", "Failed to create folder!"};
    for (std::size_t i = 0; i < std::size(typed); ++i)
    {
        ui.messages.clear();
        window.Combo2->lineEdit()->clear();
        QTest::keyClicks(window.Combo2->lineEdit(), QString::fromLatin1(typed[i]));
        QTest::mouseClick(window.Command6, Qt::LeftButton);
        EXPECT_EQ(messages(), Strings{expected[i]}) << typed[i];
        EXPECT_EQ(window.ProgressBar1->value(), 0);
    }
    EXPECT_TRUE(automation.calls.empty());
    EXPECT_TRUE(fs.shellOpens().empty());
    EXPECT_FALSE(fs.exists("/missing"));
}

TEST_F(ConvertCommand, TheWindowTakesNoInputWhileABatchRuns)
{
    auto& window = prepared("/out");
    ui.stateDir.write("set.txt", "1\r\n1\r\n");
    int creates = 0;
    automation.onCreate = [&] {
        ++creates;
        if (creates > 1)
            return;
        // A click on Convert or Remove, and a close of the window, arrive while the first workbook converts.
        QTest::mouseClick(window.Command6, Qt::LeftButton);
        QTest::mouseClick(window.Command2, Qt::LeftButton);
        window.close();
        QApplication::processEvents();
    };
    QTest::mouseClick(window.Command6, Qt::LeftButton);
    EXPECT_EQ(creates, 3);
    EXPECT_EQ(window.ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(fs.shellOpens().size(), 1u);
    // The close waited for the batch and then saved the lists as the settings ask.
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(velquin::test::readFile(ui.stateDir.path() / "EXCEL.txt"), "/data/books\r\n");
}
