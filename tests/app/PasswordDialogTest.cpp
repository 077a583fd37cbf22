// Encrypted workbooks in the window: the password dialog answered with the right password, Cancel and a wrong
// password, and a password that opened one workbook offered to the next without asking.
#include "app/PasswordDialog.h"

#include "app/form1.h"
#include "platform/PosixPlatform.h"
#include "tests/lists/ListsWindow.h"
#include "tests/support/TestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#if __has_include("convert/automation/EngineAutomation.h")
#include "convert/automation/EngineAutomation.h"
#define VELQUIN_HAS_ENGINE_AUTOMATION 1
#endif

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

class QuietPosixPlatform : public velquin::platform::PosixPlatform
{
public:
    void shellOpen(const std::string&, int) override {}
};

} // namespace

TEST(PasswordDialog, AnsweredCancelledAndWrongPasswordsInOneBatch)
{
    VELQUIN_REQUIRE_CORPUS();
#ifndef VELQUIN_HAS_ENGINE_AUTOMATION
    GTEST_SKIP() << "this build has no engine converter";
#else
    velquin::test::TempDir dir;
    fs::create_directories(dir.path() / "books");
    const fs::path encrypted = *velquin::test::sharedDir() / "corpus" / "encrypted";
    // In list order: "password" typed; then the remembered "password" does not fit b (Cancel) nor c (a wrong
    // password typed); d opens with the remembered one, without a dialog.
    fs::copy_file(encrypted / "password_2002_40_xor.xls", dir.path() / "books" / "a.xls");
    fs::copy_file(encrypted / "rc4cryptoapi_password.xls", dir.path() / "books" / "b.xls");
    fs::copy_file(encrypted / "xor_password_123456789012345.xls", dir.path() / "books" / "c.xls");
    fs::copy_file(encrypted / "password_2002_128_strong.xls", dir.path() / "books" / "d.xls");

    Strings asked;
    const auto answer = [&asked](QDialog& dialog) {
        auto* label = dialog.findChild<QLabel*>("Label1");
        auto* text = dialog.findChild<QLineEdit*>("Text1");
        ASSERT_NE(label, nullptr);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->echoMode(), QLineEdit::Password);
        asked.push_back(label->text().toStdString());
        if (label->text().contains("b.xls"))
            return dialog.reject();
        QTest::keyClicks(text, label->text().contains("a.xls") ? "password" : "not it");
        dialog.accept();
    };

    QuietPosixPlatform platform;
    velquin::common::RecordingMessageBox messages;
    velquin::test::NoHelpKeys helpKeys;
    velquin::dialogs::ScriptedDialogBackend dialogs;
    velquin::convert::EngineApplicationFactory factory;
    velquin::app::form1 window(velquin::app::Services{platform, messages, helpKeys, dir.path().string(),
                                                      dir.path().string(), &dialogs, &factory, answer});
    window.show();
    dialogs.answerFolder((dir.path() / "books").string());
    QTest::mouseClick(window.Command5, Qt::LeftButton);
    ASSERT_EQ(window.ListView2->topLevelItemCount(), 4);
    const fs::path out = dir.path() / "out";
    QTest::keyClicks(window.Combo2->lineEdit(), QString::fromStdString(out.string()));
    QTest::mouseClick(window.Command6, Qt::LeftButton);

    EXPECT_EQ(asked, (Strings{"'a.xls' is protected.\nPassword:", "'b.xls' is protected.\nPassword:",
                              "'c.xls' is protected.\nPassword:"}));
    Strings shown;
    for (const auto& message : messages.shown())
        shown.push_back(message.text);
    const std::string encryptedText = "The workbook is encrypted with a password and cannot be converted. ";
    EXPECT_EQ(shown, (Strings{encryptedText + "A password is needed.", "Convert b file failed!",
                              encryptedText + "The password does not open it.", "Convert c file failed!"}));
    EXPECT_TRUE(fs::exists(out / "a.xml"));
    EXPECT_FALSE(fs::exists(out / "b.xml"));
    EXPECT_FALSE(fs::exists(out / "c.xml"));
    EXPECT_TRUE(fs::exists(out / "d.xml"));
#endif
}
