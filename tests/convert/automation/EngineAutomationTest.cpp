// The seven automation operations over the engine: success, each error number, and the rules after Close and Quit.
#include "convert/automation/EngineAutomation.h"

#include "tests/support/FakeWorkbookReader.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace velquin::convert {
namespace {

using engine::EngineErrc;
using testing::HasSubstr;

std::int32_t number(EngineErrc code)
{
    return static_cast<std::int32_t>(code);
}

/// An application whose Open gives a one-sheet fake workbook for any path ending in ".xlsx".
struct Session
{
    explicit Session(EngineAutomationOptions options = {})
    {
        options.open = [](const std::string& path, std::unique_ptr<engine::model::WorkbookReader>& reader) {
            if (!path.ends_with(".xlsx"))
                return engine::Status(EngineErrc::NotAWorkbook, "not a fake workbook");
            auto fake = std::make_unique<test::FakeWorkbookReader>();
            fake->addSheet("Sheet1", [](engine::model::SheetSink& sink) {
                return test::feedCells(sink, test::sheetHeader(0, "Sheet1"), {});
            });
            reader = std::move(fake);
            return engine::Status{};
        };
        EngineApplicationFactory factory(options);
        EXPECT_FALSE(factory.create(application));
        EXPECT_FALSE(application->Workbooks(workbooks));
    }

    std::unique_ptr<Workbook> open(const std::string& path)
    {
        std::unique_ptr<Workbook> workbook;
        EXPECT_FALSE(workbooks->Open(path, workbook));
        return workbook;
    }

    std::unique_ptr<Application> application;
    Workbooks* workbooks = nullptr;
};

TEST(EngineAutomation, ConvertsWithTheSevenOperations)
{
    test::TempDir dir;
    Session session;
    std::unique_ptr<Workbook> workbook = session.open("in.xlsx");
    ASSERT_TRUE(workbook);
    EXPECT_FALSE(session.application->setDisplayAlerts(false));
    EXPECT_FALSE(workbook->SaveAs(dir.file("out.xml"), kXmlSpreadsheetFormat));
    EXPECT_FALSE(workbook->Close());
    EXPECT_FALSE(session.application->Quit());
    EXPECT_THAT(test::readFile(dir.file("out.xml")), HasSubstr("<Worksheet ss:Name=\"Sheet1\">"));
}

TEST(EngineAutomation, PassesTheEngineErrorsOnWithTheirNumbersAndDescriptions)
{
    test::TempDir dir;
    EngineApplicationFactory factory;
    std::unique_ptr<Application> application;
    ASSERT_FALSE(factory.create(application));
    Workbooks* workbooks = nullptr;
    ASSERT_FALSE(application->Workbooks(workbooks));
    std::unique_ptr<Workbook> workbook;
    const AutomationStatus missing = workbooks->Open(dir.file("missing.xlsx"), workbook);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->number, number(EngineErrc::FileNotFound));
    EXPECT_THAT(missing->description, HasSubstr("not found"));
    // Text would open as delimited text, as in Excel; binary data that is no workbook does not.
    const std::string binary("\x7F" "ELF\x02\x01\x01\0\0\0", 10);
    const AutomationStatus text = workbooks->Open(dir.write("notes.xls", binary), workbook);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->number, number(EngineErrc::NotAWorkbook));
    EXPECT_FALSE(workbook);

    Session session;
    std::unique_ptr<Workbook> opened = session.open("in.xlsx");
    const AutomationStatus unwritable = opened->SaveAs(dir.file("no/folder/out.xml"), kXmlSpreadsheetFormat);
    ASSERT_TRUE(unwritable);
    EXPECT_EQ(unwritable->number, number(EngineErrc::OutputNotWritable));
}

TEST(EngineAutomation, RefusesEveryFileFormatButSpreadsheetMl)
{
    test::TempDir dir;
    Session session;
    std::unique_ptr<Workbook> workbook = session.open("in.xlsx");
    for (const std::int32_t format : {51, 0, -46, 56})
    {
        const AutomationStatus refused = workbook->SaveAs(dir.file("out.xml"), format);
        ASSERT_TRUE(refused);
        EXPECT_EQ(refused->number, number(EngineErrc::InvalidFileFormat));
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.xml")));
}

TEST(EngineAutomation, RefusesOperationsOnAClosedWorkbookOrAfterQuit)
{
    test::TempDir dir;
    Session session;
    std::unique_ptr<Workbook> workbook = session.open("in.xlsx");
    ASSERT_FALSE(workbook->Close());
    EXPECT_EQ(workbook->Close()->number, number(EngineErrc::InvalidState));
    EXPECT_EQ(workbook->SaveAs(dir.file("out.xml"), kXmlSpreadsheetFormat)->number, number(EngineErrc::InvalidState));

    std::unique_ptr<Workbook> second = session.open("in.xlsx");
    ASSERT_FALSE(session.application->Quit());
    EXPECT_EQ(second->Close()->number, number(EngineErrc::InvalidState));
    EXPECT_EQ(session.application->Quit()->number, number(EngineErrc::InvalidState));
    Workbooks* workbooks = nullptr;
    EXPECT_EQ(session.application->Workbooks(workbooks)->number, number(EngineErrc::InvalidState));
    EXPECT_EQ(session.application->setDisplayAlerts(false)->number, number(EngineErrc::InvalidState));
    std::unique_ptr<Workbook> third;
    EXPECT_EQ(session.workbooks->Open("in.xlsx", third)->number, number(EngineErrc::InvalidState));
}

TEST(EngineAutomation, OutlivedWorkbookIsSafeAfterTheApplicationIsReleased)
{
    Session session;
    std::unique_ptr<Workbook> workbook = session.open("in.xlsx");
    session.application.reset();
    EXPECT_FALSE(workbook->Close());
}

} // namespace
} // namespace velquin::convert
