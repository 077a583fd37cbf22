// The whole road of the window on the real file system and the real converter: a folder of corpus workbooks is
// added, one is unchecked, a new output folder is typed, Convert is pressed, and the XML files are checked.
#include "app/form1.h"
#include "convert/automation/Automation.h"
#include "platform/PosixPlatform.h"
#include "tests/lists/ListsWindow.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QLineEdit>
#include <QTest>
#include <QXmlStreamReader>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

#if __has_include("convert/automation/EngineAutomation.h")
#include "convert/automation/EngineAutomation.h"
#define VELQUIN_HAS_ENGINE_AUTOMATION 1
#endif

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

/// The real file system; folders and links are recorded instead of being opened on the desktop.
class RecordingPosixPlatform : public velquin::platform::PosixPlatform
{
public:
    void shellOpen(const std::string& file, int showCommand) override { opened.push_back({file, showCommand}); }
    std::vector<std::pair<std::string, int>> opened;
};

/// Empty when `path` is a well-formed SpreadsheetML 2003 document, else what is wrong with it.
std::string spreadsheetMlProblem(const fs::path& path)
{
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly))
        return "cannot be read";
    QXmlStreamReader xml(&file);
    bool sawRoot = false;
    while (!xml.atEnd())
    {
        xml.readNext();
        if (xml.isStartElement() && !sawRoot)
        {
            sawRoot = true;
            if (xml.name() != QLatin1String("Workbook") ||
                xml.namespaceUri() != QLatin1String("urn:schemas-microsoft-com:office:spreadsheet"))
                return "root element is " + xml.qualifiedName().toString().toStdString();
        }
    }
    if (xml.hasError())
        return "not well-formed: " + xml.errorString().toStdString() + " at line " + std::to_string(xml.lineNumber());
    return sawRoot ? "" : "no root element";
}

} // namespace

TEST(ConvertRealWorkbooks, AFolderOfCorpusWorkbooksBecomesXmlFilesNamedByTheRule)
{
    VELQUIN_REQUIRE_CORPUS();
#ifndef VELQUIN_HAS_ENGINE_AUTOMATION
    GTEST_SKIP() << "this build has no engine converter (convert/automation/EngineAutomation.h)";
#else
    // Corpus file -> name in the folder the user adds, and the XML file the rule gives it.
    struct Sample
    {
        const char* corpus;
        const char* listed;
        const char* output;
    };
    const Sample samples[] = {
        {"1900.xls", "Q1 Sales.2009.xls", "Q1Sales2009.xml"},
        {"biff5-text_and_numbers.xls", "text and numbers.xls", "textandnumbers.xml"},
        {"1904.xlsx", "1904.xlsx", "1904.xml"},
        {"BlankSheetTypes.xlsm", "Blank.Sheet Types.xlsm", "BlankSheetTypes.xml"},
        {"merge_cells.xlsx", "unchecked.xlsx", nullptr},
    };

    // Every sample is converted: a reader that stops opening its format must fail this test, not shrink it.
    velquin::convert::EngineApplicationFactory factory;
    velquin::test::TempDir dir;
    fs::create_directories(dir.path() / "books");
    std::set<std::string> expected;
    for (const auto& sample : samples)
    {
        const auto source = velquin::test::corpusFile(sample.corpus);
        ASSERT_TRUE(source.has_value()) << sample.corpus << " is missing from the corpus";
        fs::copy_file(*source, dir.path() / "books" / sample.listed);
        if (sample.output)
            expected.insert(sample.output);
    }

    RecordingPosixPlatform platform;
    velquin::common::RecordingMessageBox messages;
    velquin::test::NoHelpKeys helpKeys;
    velquin::dialogs::ScriptedDialogBackend dialogs;
    velquin::app::form1 window(velquin::app::Services{
        platform, messages, helpKeys, dir.path().string(), dir.path().string(), &dialogs, &factory, {}});
    window.show();
    dialogs.answerFolder((dir.path() / "books").string());
    QTest::mouseClick(window.Command5, Qt::LeftButton);
    ASSERT_EQ(window.ListView2->topLevelItemCount(), static_cast<int>(expected.size()) + 1);
    for (int i = 0; i < window.ListView2->topLevelItemCount(); ++i)
    {
        auto* item = window.ListView2->topLevelItem(i);
        if (item->text(0) == "unchecked.xlsx")
            item->setCheckState(0, Qt::Unchecked);
    }
    const fs::path out = dir.path() / "out" / "converted";
    fs::create_directory(dir.path() / "out");
    QTest::keyClicks(window.Combo2->lineEdit(), QString::fromStdString(out.string() + "/"));
    QTest::mouseClick(window.Command6, Qt::LeftButton);

    Strings shown;
    for (const auto& message : messages.shown())
        shown.push_back(message.text);
    EXPECT_EQ(shown, Strings{});
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(out))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, expected);
    for (const auto& name : written)
        EXPECT_EQ(spreadsheetMlProblem(out / name), "") << name;
    ASSERT_EQ(platform.opened.size(), 1u);
    EXPECT_EQ(platform.opened[0], std::make_pair(out.string() + "/", 5));
    EXPECT_EQ(window.ProgressBar1->value(), 0);
#endif
}
