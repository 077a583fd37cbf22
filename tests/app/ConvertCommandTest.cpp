// The Convert command in the window: a folder added through the dialog, one workbook unchecked, a typed output
// folder, and the batch run from the button or the menu, on an in-memory file tree and a fake converter.
#include "app/form1.h"
#include "tests/convert/FakeAutomation.h"
#include "tests/lists/ListsWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

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

    // While the batch runs the pointer is the hourglass, until the bar is back at 0.
    std::vector<std::pair<int, Qt::CursorShape>> steps;
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged,
                     [&](int value) { steps.emplace_back(value, window.cursor().shape()); });
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
    EXPECT_EQ(steps, (std::vector<std::pair<int, Qt::CursorShape>>{
                         {1, Qt::WaitCursor}, {2, Qt::WaitCursor}, {3, Qt::WaitCursor}, {0, Qt::WaitCursor}}));
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
    // A click on Convert or Remove, and a close of the window, arrive while the batch runs.
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
        if (value != 1)
            return;
        QTest::mouseClick(window.Command6, Qt::LeftButton);
        QTest::mouseClick(window.Command2, Qt::LeftButton);
        window.close();
        QApplication::processEvents();
    });
    QTest::mouseClick(window.Command6, Qt::LeftButton);
    EXPECT_EQ(std::count(automation.calls.begin(), automation.calls.end(), "create"), 3);
    EXPECT_EQ(window.ListView1->topLevelItemCount(), 1);
    EXPECT_EQ(fs.shellOpens().size(), 1u);
    // The close waited for the batch and then saved the lists as the settings ask.
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(velquin::test::readFile(ui.stateDir.path() / "EXCEL.txt"), "/data/books\r\n");
}

namespace {

/// Records, with each message, where the progress bar stood when it was shown.
class ProgressAtMessage : public velquin::common::MessageBox
{
public:
    explicit ProgressAtMessage(const QProgressBar*& bar) : m_bar(bar) {}
    void show(const std::string& text, MessageIcon /*icon*/) override
    {
        shown.push_back(text + " @" + std::to_string(m_bar ? m_bar->value() : -1));
    }
    Strings shown;

private:
    const QProgressBar*& m_bar;
};

} // namespace

TEST_F(ConvertCommand, FourWorkersShowEachResultInListOrder)
{
    fs.addFolder("/data/five");
    for (const char* name : {"b1.xls", "b2.xls", "b3.xls", "b4.xls", "b5.xls"})
        fs.addFile(std::string("/data/five/") + name);
    automation.fail("Open", 1006, "The file is damaged.", "b2.xls");
    automation.onSave = [this](const std::string& input, const std::string& output) {
        // The first workbook takes longest, so the second one's failure is known long before it.
        if (input.ends_with("b1.xls"))
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        fs.addFile(output);
    };
    const QProgressBar* bar = nullptr;
    ProgressAtMessage messages(bar);
    velquin::app::form1 window(velquin::app::Services{
        fs, messages, ui.helpKeys, "/opt/velquin", ui.stateDir.path().string(), &ui.dialogs, &automation, {}, 4});
    bar = window.ProgressBar1;
    window.show();
    ui.dialogs.answerFolder("/data/five");
    QTest::mouseClick(window.Command5, Qt::LeftButton);
    QTest::keyClicks(window.Combo2->lineEdit(), QStringLiteral("/out"));

    // The bar reaches an entry only when it and every entry before it are done.
    Strings reached;
    QObject::connect(window.ProgressBar1, &QProgressBar::valueChanged, [&](int value) {
        reached.push_back(std::to_string(value) + (fs.exists("/out/b" + std::to_string(value) + ".xml") ? "" : "-"));
    });
    QTest::mouseClick(window.Command6, Qt::LeftButton);

    EXPECT_EQ(messages.shown, (Strings{"The file is damaged. @1", "Convert b2 file failed! @1"}));
    EXPECT_EQ(reached, (Strings{"1", "2-", "3", "4", "5", "0-"}));
    for (const char* written : {"/out/b1.xml", "/out/b3.xml", "/out/b4.xml", "/out/b5.xml"})
        EXPECT_TRUE(fs.exists(written)) << written;
    EXPECT_EQ(fs.shellOpens().size(), 1u);
}
