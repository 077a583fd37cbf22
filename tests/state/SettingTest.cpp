// The settings dialog: loaded from "set.txt" at each showing, OK writes it, Cancel and the close box do not.
#include "state/Setting.h"

#include "state/StateFiles.h"
#include "tests/support/TestSupport.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using velquin::state::Setting;
using velquin::state::StateFiles;
using velquin::test::readFile;
using velquin::test::TempDir;

namespace {

struct Checks
{
    bool check1;
    bool check2;
    bool operator==(const Checks&) const = default;
};

Checks loaded(const TempDir& dir, const char* settings)
{
    if (settings)
        dir.write("set.txt", settings);
    StateFiles files(dir.path().string(), nullptr);
    Setting dialog(files);
    return {dialog.Check1->isChecked(), dialog.Check2->isChecked()};
}

} // namespace

TEST(Setting, ControlsCaptionsAndGeometry)
{
    TempDir dir;
    StateFiles files(dir.path().string(), nullptr);
    Setting dialog(files);
    EXPECT_EQ(dialog.windowTitle(), "Setting");
    EXPECT_EQ(dialog.size(), QSize(249, 104));
    EXPECT_EQ(dialog.Check1->text(), "Automatically save the current file\r\n");
    EXPECT_EQ(dialog.Check2->text(), "Automatically save the output directory");
    EXPECT_EQ(dialog.OKButton->geometry(), QRect(24, 72, 81, 25));
    EXPECT_EQ(dialog.CancelButton->geometry(), QRect(136, 72, 81, 25));
    EXPECT_EQ(dialog.Check1->geometry(), QRect(24, 16, 193, 25));
    EXPECT_EQ(dialog.Check2->geometry(), QRect(24, 40, 209, 17));
    EXPECT_FALSE(dialog.OKButton->isDefault());
    EXPECT_FALSE(dialog.CancelButton->isDefault());
    EXPECT_EQ(dialog.OKButton->nextInFocusChain(), dialog.CancelButton);
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint);
}

TEST(Setting, LoadReflectsTheFile)
{
    TempDir dir;
    EXPECT_EQ(loaded(dir, nullptr), (Checks{false, false}));
    EXPECT_EQ(loaded(dir, "1\r\n1\r\n"), (Checks{true, true}));
    EXPECT_EQ(loaded(dir, "1"), (Checks{true, false}));
    EXPECT_EQ(loaded(dir, "0\r\n1"), (Checks{false, true}));
    EXPECT_EQ(loaded(dir, ""), (Checks{false, false}));
    EXPECT_EQ(loaded(dir, "1 \r\nx\r\n"), (Checks{false, false}));
}

TEST(Setting, OkWritesCancelAndCloseBoxDoNot)
{
    TempDir dir;
    dir.write("set.txt", "1\r\n");
    StateFiles files(dir.path().string(), nullptr);
    {
        // OK without a change rewrites the file in its two-line form.
        Setting dialog(files);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(readFile(dir.path() / "set.txt"), "1\r\n0\r\n");
    }
    {
        Setting dialog(files);
        dialog.Check1->setChecked(false);
        dialog.Check2->setChecked(true);
        QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
        EXPECT_EQ(readFile(dir.path() / "set.txt"), "1\r\n0\r\n");
    }
    {
        // A fresh showing reflects the file, not the change that was cancelled.
        Setting dialog(files);
        EXPECT_TRUE(dialog.Check1->isChecked());
        EXPECT_FALSE(dialog.Check2->isChecked());
        dialog.Check2->setChecked(true);
        dialog.show();
        dialog.close(); // the close box
        EXPECT_EQ(readFile(dir.path() / "set.txt"), "1\r\n0\r\n");
    }
    {
        Setting dialog(files);
        dialog.Check1->setChecked(false);
        dialog.Check2->setChecked(true);
        QTest::mouseClick(dialog.OKButton, Qt::LeftButton);
        EXPECT_EQ(readFile(dir.path() / "set.txt"), "0\r\n1\r\n");
    }
}

TEST(Setting, EnterAndEscapePressNeitherButton)
{
    TempDir dir;
    dir.write("set.txt", "0\r\n0\r\n");
    StateFiles files(dir.path().string(), nullptr);
    Setting dialog(files);
    dialog.show();
    dialog.Check1->setChecked(true);
    QSignalSpy finished(&dialog, &QDialog::finished);
    QTest::keyClick(&dialog, Qt::Key_Return);
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(readFile(dir.path() / "set.txt"), "0\r\n0\r\n");
}
