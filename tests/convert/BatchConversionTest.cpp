// The Convert command over fake lists, a fake file tree and a fake automation layer: the output folder checks,
// the input path, the results of one conversion and the batch with its messages and progress.
#include "convert/BatchConversion.h"

#include "common/MessageBox.h"
#include "platform/FakePlatform.h"
#include "tests/convert/FakeAutomation.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace velquin::convert;
using velquin::common::MessageIcon;
using velquin::common::RecordingMessageBox;
using velquin::platform::FakePlatform;
using velquin::test::FakeAutomation;
using Shown = RecordingMessageBox::Shown;
using Strings = std::vector<std::string>;

namespace {

class FakeLists : public WorkbookLists
{
public:
    struct Workbook
    {
        std::string text;
        bool checked = true;
    };

    std::int32_t inputCount() const override { return static_cast<std::int32_t>(inputs.size()); }
    std::optional<std::string> selectedInput() const override
    {
        if (selected < 0 || selected >= inputCount())
            return std::nullopt;
        return inputs[static_cast<std::size_t>(selected)];
    }
    std::int32_t workbookCount() const override { return static_cast<std::int32_t>(workbooks.size()); }
    std::string workbookText(std::int32_t index) const override
    {
        return index >= 1 && index <= workbookCount() ? workbooks[static_cast<std::size_t>(index - 1)].text : "";
    }
    bool workbookChecked(std::int32_t index) const override
    {
        return index >= 1 && index <= workbookCount() && workbooks[static_cast<std::size_t>(index - 1)].checked;
    }
    std::string outputText() const override { return output; }
    std::int32_t outputListIndex() const override { return outputIndex; }

    Strings inputs;
    int selected = -1;
    std::vector<Workbook> workbooks;
    std::string output;
    std::int32_t outputIndex = -1;
};

class RecordingProgress : public BatchProgress
{
public:
    void setProgressMaximum(std::int32_t maximum) override { events.push_back("max " + std::to_string(maximum)); }
    void setProgressValue(std::int32_t value) override { events.push_back("value " + std::to_string(value)); }
    void setBusy(bool busy) override { events.push_back(busy ? "busy" : "idle"); }
    void repaintNow() override
    {
        if (onRepaint)
            onRepaint();
    }
    Strings events;
    std::function<void()> onRepaint;
};

class BatchTest : public ::testing::Test
{
protected:
    BatchTest()
    {
        platform.addFolder("/in");
        platform.addFolder("/out");
        automation.onSave = [this](const std::string&, const std::string& output) { platform.addFile(output); };
    }

    // A folder source with these workbooks (all checked), selected, and a remembered output folder.
    void folderSource(Strings names)
    {
        lists.inputs = {"/in"};
        lists.selected = 0;
        for (auto& name : names)
        {
            platform.addFile("/in/" + name);
            lists.workbooks.push_back({name, true});
        }
        lists.output = "/out";
        lists.outputIndex = 0;
    }

    Strings messages() const
    {
        Strings texts;
        for (const auto& shown : box.shown())
            texts.push_back(shown.text);
        return texts;
    }

    std::size_t count(const std::string& call) const
    {
        return static_cast<std::size_t>(std::count(automation.calls.begin(), automation.calls.end(), call));
    }

    FakePlatform platform;
    RecordingMessageBox box;
    FakeAutomation automation;
    FakeLists lists;
    RecordingProgress progress;
    BatchConversion batch{platform, box, automation, lists, progress};
};

} // namespace

TEST_F(BatchTest, CheckOutputFolderAcceptsExistingFoldersAndCreatesTypedOnes)
{
    lists.output = "/out";
    lists.outputIndex = 0;
    ASSERT_TRUE(batch.CheckOutputFolder());
    EXPECT_EQ(batch.OutputFolder(), "/out/");

    // Several trailing separators become exactly one.
    lists.output = "/out///";
    lists.outputIndex = -1;
    ASSERT_TRUE(batch.CheckOutputFolder());
    EXPECT_EQ(batch.OutputFolder(), "/out/");

    lists.output = "/out/new//";
    ASSERT_TRUE(batch.CheckOutputFolder());
    EXPECT_TRUE(platform.isFolder("/out/new"));
    EXPECT_EQ(batch.OutputFolder(), "/out/new/");
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(BatchTest, CheckOutputFolderRefusesWithItsMessages)
{
    platform.addFile("/out/file.txt");
    struct Case
    {
        const char* text;
        std::int32_t listIndex;
        Shown message;
    };
    const Case cases[] = {
        {"", -1, {"Please select output folder", MessageIcon::Information}},
        {"", 2, {"Please select output folder", MessageIcon::Information}},
        {"/out/deleted", 0, {"Folder does not exist!", MessageIcon::Critical}},
        {"/out/file.txt", 1, {"Folder does not exist!", MessageIcon::Critical}},
        {"/no/parent/here", -1, {"Failed to create folder!", MessageIcon::Critical}},
        {"/out/file.txt", -1, {"Failed to create folder!", MessageIcon::Critical}},
        {"///", -1, {"Failed to create folder!", MessageIcon::Critical}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        box.clear();
        lists.output = c.text;
        lists.outputIndex = c.listIndex;
        EXPECT_FALSE(batch.CheckOutputFolder());
        EXPECT_EQ(box.shown(), std::vector<Shown>{c.message});
    }
    EXPECT_FALSE(platform.exists("/out/deleted"));
    EXPECT_FALSE(platform.exists("/no"));
    EXPECT_FALSE(platform.isFolder("/out/file.txt"));

    platform.denyCreateIn("/out");
    box.clear();
    lists.output = "/out/denied";
    EXPECT_FALSE(batch.CheckOutputFolder());
    EXPECT_EQ(messages(), Strings{"Failed to create folder!"});
    EXPECT_EQ(batch.OutputFolder(), "/out/denied");
}

TEST_F(BatchTest, GetInputFilePathFromTheSelectedSource)
{
    folderSource({"a.xls", "b.xlsx"});
    EXPECT_EQ(batch.GetInputFilePath(1), "/in/a.xls");
    EXPECT_EQ(batch.GetInputFilePath(2), "/in/b.xlsx");
    EXPECT_EQ(batch.GetInputFilePath(3), "");

    // One "/" is always inserted; the file must still be there and visible.
    lists.inputs = {"/in/"};
    EXPECT_EQ(batch.GetInputFilePath(1), "/in//a.xls");
    platform.remove("/in/a.xls");
    EXPECT_EQ(batch.GetInputFilePath(1), "");
    platform.addFile("/in/a.xls", velquin::platform::attr::System);
    EXPECT_EQ(batch.GetInputFilePath(1), "");

    // A file source is its own only workbook, whatever the index.
    platform.addFile("/single.xls");
    lists.inputs = {"/in", "/single.xls"};
    lists.selected = 1;
    EXPECT_EQ(batch.GetInputFilePath(7), "/single.xls");

    // No selected source, or a source that is gone, gives nothing.
    lists.selected = -1;
    EXPECT_EQ(batch.GetInputFilePath(1), "");
    lists.inputs = {"/gone"};
    lists.selected = 0;
    EXPECT_EQ(batch.GetInputFilePath(1), "");
}

TEST_F(BatchTest, DotNamedSourceAndOutputFoldersAreUsedAsNamed)
{
    // A source folder that is itself hidden: its workbooks convert.
    platform.addFile("/home/u/.work/Book1.xls");
    platform.addFile("/home/u/.work/books/Book2.xls");
    platform.addFolder("/home/u/.out");
    lists.inputs = {"/home/u/.work", "/home/u/.work/books"};
    lists.selected = 0;
    lists.workbooks = {{"Book1.xls", true}};
    lists.output = "/home/u/.out";
    lists.outputIndex = 0; // remembered
    batch.Command6_Click();
    EXPECT_TRUE(box.shown().empty());
    EXPECT_TRUE(platform.exists("/home/u/.out/Book1.xml"));

    // The same folder typed: it is there, so nothing is created; a new folder under it is.
    lists.selected = 1;
    lists.workbooks = {{"Book2.xls", true}};
    lists.outputIndex = -1;
    for (const char* typed : {"/home/u/.out", "/home/u/.out/.new"})
    {
        lists.output = typed;
        batch.Command6_Click();
        EXPECT_TRUE(box.shown().empty()) << typed;
        EXPECT_TRUE(platform.exists(std::string(typed) + "/Book2.xml")) << typed;
    }
}

TEST_F(BatchTest, ConvertWorkbookDrivesTheSevenOperations)
{
    folderSource({"Q1 Sales.2009.xls"});
    batch.setOutputBasePath("/out/Q1Sales2009");
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::Converted);
    EXPECT_EQ(automation.calls,
              (Strings{"create", "Workbooks", "Open /in/Q1 Sales.2009.xls", "DisplayAlerts 0",
                       "SaveAs /out/Q1Sales2009.xml 46", "Close", "Quit", "~Workbook", "~Application"}));
    EXPECT_TRUE(platform.exists("/out/Q1Sales2009.xml"));
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(BatchTest, ConvertWorkbookReportsAndCleansUpAfterAPositiveError)
{
    folderSource({"a.xls"});
    batch.setOutputBasePath("/out/a");

    // The application cannot be created: the description, nothing to clean up.
    automation.fail("create", 1001, "Cannot start the converter.");
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::AutomationFailed);
    EXPECT_EQ(box.shown(), (std::vector<Shown>{{"Cannot start the converter.", MessageIcon::None}}));
    EXPECT_EQ(automation.calls, Strings{"create"});

    // Open fails: no workbook to close, the application quits.
    automation.failures.clear();
    automation.calls.clear();
    box.clear();
    automation.fail("Open", 1006, "The file is damaged.");
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::AutomationFailed);
    EXPECT_EQ(messages(), Strings{"The file is damaged."});
    EXPECT_EQ(count("Close"), 0u);
    EXPECT_EQ(count("Quit"), 1u);
    EXPECT_EQ(automation.calls.back(), "~Application");

    // SaveAs fails: the workbook is closed and the application quits; a failing clean-up changes nothing.
    automation.failures.clear();
    automation.calls.clear();
    box.clear();
    automation.fail("SaveAs", 1008, "The output file cannot be written.");
    automation.fail("Close", 1013, "Closed twice.");
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::AutomationFailed);
    EXPECT_EQ(messages(), Strings{"The output file cannot be written."});
    EXPECT_EQ(count("Close"), 1u);
    EXPECT_EQ(count("Quit"), 1u);
    EXPECT_EQ(Strings(automation.calls.end() - 2, automation.calls.end()), (Strings{"~Workbook", "~Application"}));
    EXPECT_FALSE(platform.exists("/out/a.xml"));

    // Quit fails after a successful Close: the workbook is not closed a second time.
    automation.failures.clear();
    automation.calls.clear();
    box.clear();
    automation.fail("Quit", 1013, "Quit failed.");
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::AutomationFailed);
    EXPECT_EQ(count("Close"), 1u);
    EXPECT_EQ(count("Quit"), 2u);
}

TEST_F(BatchTest, ConvertWorkbookWithANonPositiveErrorShowsAndCleansNothing)
{
    folderSource({"a.xls"});
    batch.setOutputBasePath("/out/a");
    for (std::int32_t number : {0, -2147221005})
    {
        automation.failures.clear();
        automation.calls.clear();
        automation.fail("SaveAs", number, "quiet");
        EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::Failed);
        EXPECT_TRUE(box.shown().empty());
        EXPECT_EQ(count("Close"), 0u);
        EXPECT_EQ(count("Quit"), 0u);
        // Released all the same, workbook first.
        EXPECT_EQ(Strings(automation.calls.end() - 2, automation.calls.end()), (Strings{"~Workbook", "~Application"}));
    }
}

TEST_F(BatchTest, ConvertWorkbookWithoutInputStartsNothing)
{
    folderSource({"a.xls"});
    platform.remove("/in/a.xls"); // deleted after it was listed
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::NoInput);
    lists.selected = -1; // entries in the input list, none selected
    EXPECT_EQ(batch.ConvertWorkbook(1), ConversionResult::NoInput);
    EXPECT_TRUE(automation.calls.empty());
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(BatchTest, ConvertsCheckedEntriesInOrderAndOpensTheFolder)
{
    folderSource({"Q1 Sales.2009.xls", "skip.xls", "Data", " .xls", "Book1.xlsx"});
    lists.workbooks[1].checked = false;
    platform.addFolder("/out/Book1");
    platform.addFolder("/out/Book11");
    platform.addFile("/out/Data.xml"); // replaced without a question
    batch.Command6_Click();

    Strings saved;
    for (const auto& call : automation.calls)
        if (call.rfind("SaveAs ", 0) == 0)
            saved.push_back(call);
    std::sort(saved.begin(), saved.end()); // conversions run side by side
    EXPECT_EQ(saved, (Strings{"SaveAs /out/1.xml 46", "SaveAs /out/Book112.xml 46", "SaveAs /out/Data.xml 46",
                              "SaveAs /out/Q1Sales2009.xml 46"}));
    EXPECT_TRUE(box.shown().empty());
    EXPECT_EQ(platform.shellOpens(), (std::vector<FakePlatform::ShellOpen>{{"/out/", 5}}));
    EXPECT_EQ(progress.events,
              (Strings{"max 5", "busy", "value 1", "value 2", "value 3", "value 4", "value 5", "value 0", "idle"}));
    EXPECT_FALSE(batch.running());
}

TEST_F(BatchTest, AFailedWorkbookIsReportedAndTheBatchGoesOn)
{
    folderSource({"one.xls", "two bad.xls", "three.xls"});
    automation.fail("Open", 1006, "The file is damaged.", "two bad");
    batch.Command6_Click();
    EXPECT_EQ(box.shown(), (std::vector<Shown>{{"The file is damaged.", MessageIcon::None},
                                               {"Convert twobad file failed!", MessageIcon::Critical}}));
    EXPECT_TRUE(platform.exists("/out/one.xml"));
    EXPECT_FALSE(platform.exists("/out/twobad.xml"));
    EXPECT_TRUE(platform.exists("/out/three.xml"));
    EXPECT_EQ(progress.events, (Strings{"max 3", "busy", "value 1", "value 2", "value 3", "value 0", "idle"}));
    EXPECT_EQ(platform.shellOpens().size(), 1u);
}

TEST_F(BatchTest, WorkbooksGivenTheSameNameConvertInListOrder)
{
    folderSource({"A B.xls", "other.xls", "AB.xls", "A.B.xls"});
    std::mutex mutex;
    Strings intoAB;
    automation.onSave = [&](const std::string& input, const std::string& output) {
        // The first one takes longest: converted side by side, it would replace the later ones.
        if (input.ends_with("A B.xls"))
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::lock_guard lock(mutex);
        if (output == "/out/AB.xml")
            intoAB.push_back(input);
    };
    BatchConversion wide{platform, box, automation, lists, progress, 4};
    wide.Command6_Click();
    EXPECT_EQ(intoAB, (Strings{"/in/A B.xls", "/in/AB.xls", "/in/A.B.xls"}));
    EXPECT_TRUE(box.shown().empty());
}

TEST_F(BatchTest, WithoutTheConverterEveryCheckedEntryGivesTwoBoxes)
{
    folderSource({"a.xls", "b.xls"});
    automation.fail("create", 1001, "The converter is not available.");
    batch.Command6_Click();
    EXPECT_EQ(messages(), (Strings{"The converter is not available.", "Convert a file failed!",
                                   "The converter is not available.", "Convert b file failed!"}));
    // An input that vanished fails with one box only: no conversion was started.
    box.clear();
    automation.failures.clear();
    platform.remove("/in/a.xls");
    batch.Command6_Click();
    EXPECT_EQ(messages(), Strings{"Convert a file failed!"});
}

TEST_F(BatchTest, NothingCheckedStillRunsToTheEndAndOpensTheFolder)
{
    folderSource({"a.xls", "b.xls"});
    for (auto& workbook : lists.workbooks)
        workbook.checked = false;
    batch.Command6_Click();
    EXPECT_TRUE(automation.calls.empty());
    EXPECT_EQ(progress.events, (Strings{"max 2", "busy", "value 1", "value 2", "value 0", "idle"}));
    EXPECT_EQ(platform.shellOpens().size(), 1u);
}

TEST_F(BatchTest, RefusedCommandsConvertNothing)
{
    // An empty workbook list: the output folder is not even looked at.
    lists.output = "/out/typed";
    batch.Command6_Click();
    EXPECT_EQ(box.shown(), (std::vector<Shown>{{"Please select excel at fast!", MessageIcon::Information}}));
    EXPECT_FALSE(platform.exists("/out/typed"));
    EXPECT_EQ(progress.events, (Strings{"value 0", "idle"}));

    folderSource({"a.xls"});
    const std::pair<std::string, std::int32_t> outputs[] = {{"", -1}, {"/out/deleted", 0}, {"/none/x", -1}};
    for (const auto& [text, index] : outputs)
    {
        box.clear();
        progress.events.clear();
        lists.output = text;
        lists.outputIndex = index;
        batch.Command6_Click();
        EXPECT_EQ(box.shown().size(), 1u) << text;
        EXPECT_EQ(progress.events, (Strings{"max 1", "value 0", "idle"})) << text;
    }
    EXPECT_TRUE(automation.calls.empty());
    EXPECT_TRUE(platform.shellOpens().empty());
}

TEST_F(BatchTest, ASecondStartDuringABatchDoesNothing)
{
    folderSource({"a.xls", "b.xls"});
    int nested = 0;
    progress.onRepaint = [&] {
        ++nested;
        batch.Command6_Click();
    };
    batch.Command6_Click();
    EXPECT_GE(nested, 2);
    EXPECT_EQ(count("create"), 2u);
    EXPECT_EQ(platform.shellOpens().size(), 1u);
    // And once it is over, the command works again.
    progress.onRepaint = nullptr;
    batch.Command6_Click();
    EXPECT_EQ(count("create"), 4u);
}
