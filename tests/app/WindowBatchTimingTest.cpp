// A batch of a whole folder of workbooks through the window, on the real file system and the real converter, timed
// for the record. It runs only when VELQUIN_BATCH_WORKLOAD names a folder of workbooks (such as the 50 small ones the
// benchmark script makes) and checks that every one of them became an XML file without a message.
#include "app/form1.h"
#include "platform/PosixPlatform.h"
#include "tests/lists/ListsWindow.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>

#if __has_include("convert/automation/EngineAutomation.h")
#include "convert/automation/EngineAutomation.h"
#define VELQUIN_HAS_ENGINE_AUTOMATION 1
#endif

namespace fs = std::filesystem;

namespace {

class QuietPosixPlatform : public velquin::platform::PosixPlatform
{
public:
    void shellOpen(const std::string& /*file*/, int /*showCommand*/) override { ++opened; }
    int opened = 0;
};

} // namespace

TEST(WindowBatchTiming, EveryWorkbookOfTheWorkloadBecomesAnXmlFile)
{
    const char* workload = std::getenv("VELQUIN_BATCH_WORKLOAD");
    if (workload == nullptr || !fs::is_directory(workload))
        GTEST_SKIP() << "set VELQUIN_BATCH_WORKLOAD to a folder of workbooks to time a batch through the window";
#ifndef VELQUIN_HAS_ENGINE_AUTOMATION
    GTEST_SKIP() << "this build has no engine converter";
#else
    std::size_t workbooks = 0;
    for (const auto& entry : fs::directory_iterator(workload))
        workbooks += entry.is_regular_file() && entry.path().extension().string().starts_with(".xls") ? 1 : 0;

    velquin::test::TempDir dir;
    velquin::convert::EngineApplicationFactory factory;
    QuietPosixPlatform platform;
    velquin::common::RecordingMessageBox messages;
    velquin::test::NoHelpKeys helpKeys;
    velquin::dialogs::ScriptedDialogBackend dialogs;
    velquin::app::form1 window(velquin::app::Services{
        platform, messages, helpKeys, dir.path().string(), dir.path().string(), &dialogs, &factory, {}});
    window.show();
    dialogs.answerFolder(workload);
    QTest::mouseClick(window.Command5, Qt::LeftButton);
    ASSERT_EQ(window.ListView2->topLevelItemCount(), static_cast<int>(workbooks));
    const fs::path out = dir.path() / "out";
    QTest::keyClicks(window.Combo2->lineEdit(), QString::fromStdString(out.string()));

    const auto start = std::chrono::steady_clock::now();
    QTest::mouseClick(window.Command6, Qt::LeftButton);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::cout << "[ TIMING   ] " << workbooks << " workbooks through the window in " << elapsed.count() << " s\n";

    EXPECT_TRUE(messages.shown().empty());
    std::size_t written = 0;
    for (const auto& entry : fs::directory_iterator(out))
        written += entry.path().extension() == ".xml" ? 1 : 0;
    EXPECT_EQ(written, workbooks);
    EXPECT_EQ(platform.opened, 1);
#endif
}
