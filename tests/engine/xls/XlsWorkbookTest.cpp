// Whole .xls files: compound files made here (intact and damaged) and the workbooks of the corpus.
#include "BiffBuilder.h"
#include "engine/xls/RecordStream.h"
#include "engine/xls/XlsReader.h"
#include "tests/support/CompoundFileBuilder.h"
#include "tests/support/TestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace velquin::engine::xls {
namespace {

using test::Bytes;
using test::record;
using test::words;

constexpr std::uint16_t kUnknownRecord = 0x1234;

/// A BIFF8 workbook stream with one worksheet holding the number 42 in A1; padded past the 4 KiB below which a
/// compound file keeps streams in its small-sector area, so the stream uses the main sector chains.
Bytes workbookStream()
{
    Bytes sheet;
    record(sheet, sid::Bof, test::bof8(0x0010));
    Bytes number = words({0, 0, 0});
    auto bits = std::bit_cast<std::uint64_t>(42.0);
    test::putU32(number, static_cast<std::uint32_t>(bits));
    test::putU32(number, static_cast<std::uint32_t>(bits >> 32));
    record(sheet, sid::Number, number);
    record(sheet, sid::Eof, {});

    Bytes globals;
    record(globals, sid::Bof, test::bof8(0x0005));
    for (int i = 0; i < 4; ++i)
        record(globals, kUnknownRecord, Bytes(2000, 0xAB));
    Bytes bound;
    test::putU32(bound, 0); // patched below
    bound.insert(bound.end(), {0, 0, 6, 0, 'S', 'h', 'e', 'e', 't', '1'});
    std::size_t boundAt = globals.size() + 4;
    record(globals, sid::BoundSheet, bound);
    record(globals, sid::Eof, {});
    auto offset = static_cast<std::uint32_t>(globals.size());
    for (int i = 0; i < 4; ++i)
        globals[boundAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(offset >> (8 * i));
    globals.insert(globals.end(), sheet.begin(), sheet.end());
    return globals;
}

void writeCompoundFile(const std::string& path, const char* streamName, const Bytes& bytes)
{
    const std::string file = test::makeCompoundFile({{streamName, std::string(bytes.begin(), bytes.end())}});
    std::ofstream(path, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));
}

class XlsFile : public ::testing::Test
{
protected:
    Status openAndRead(const std::string& path, test::BiffRecordingSink& sink)
    {
        std::unique_ptr<model::WorkbookReader> reader;
        if (Status st = openXls(path, reader); !st)
            return st;
        for (std::size_t i = 0; i < reader->info().sheets.size(); ++i)
            if (Status st = reader->readSheet(static_cast<int>(i), sink); !st)
                return st;
        return {};
    }

    test::TempDir m_dir;
};

TEST_F(XlsFile, CompoundFileWithWorkbookStream)
{
    std::string path = m_dir.file("book.xls");
    writeCompoundFile(path, "Workbook", workbookStream());
    test::BiffRecordingSink sink;
    ASSERT_TRUE(openAndRead(path, sink));
    EXPECT_EQ(sink.header.name, "Sheet1");
    ASSERT_EQ(sink.cells.size(), 1u);
    EXPECT_EQ(sink.cells[0].number, 42.0);
}

TEST_F(XlsFile, FilesThatAreNotWorkbooks)
{
    test::BiffRecordingSink sink;
    EXPECT_EQ(openAndRead(m_dir.file("missing.xls"), sink).code(), EngineErrc::FileNotFound);
    EXPECT_EQ(openAndRead(m_dir.write("text.xls", "just some text, not a compound file"), sink).code(),
              EngineErrc::NotAWorkbook);
    std::string doc = m_dir.file("letter.doc");
    writeCompoundFile(doc, "WordDocument", Bytes(100, 0));
    EXPECT_EQ(openAndRead(doc, sink).code(), EngineErrc::NotAWorkbook);
}

/// Rewrites the sector chain of the largest stream so that halfway through it points back near its start.
void makeChainLoop(const std::string& path)
{
    std::string bytes = test::readFile(path);
    ASSERT_GT(bytes.size(), 1024u);
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at]) |
                                          (static_cast<std::uint8_t>(bytes[at + 1]) << 8) |
                                          (static_cast<std::uint8_t>(bytes[at + 2]) << 16) |
                                          (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24));
    };
    std::uint32_t fatSector = u32(0x4C);
    std::size_t fat = (fatSector + 1u) * 512u;
    ASSERT_LE(fat + 512, bytes.size());
    // The end of the longest run of consecutive sectors is the workbook stream's last sector.
    std::size_t bestEnd = 0, bestLength = 0, length = 0;
    for (std::size_t i = 1; i < 128; ++i)
    {
        std::uint32_t next = u32(fat + 4 * (i - 1));
        length = next == i ? length + 1 : 0;
        if (length > bestLength && u32(fat + 4 * i) == 0xFFFFFFFEu)
        {
            bestLength = length;
            bestEnd = i;
        }
    }
    ASSERT_GT(bestLength, 2u);
    std::size_t start = bestEnd - bestLength;
    std::size_t middle = start + bestLength / 2;
    auto back = static_cast<std::uint32_t>(start + 1);
    for (int k = 0; k < 4; ++k)
        bytes[fat + 4 * middle + static_cast<std::size_t>(k)] = static_cast<char>(back >> (8 * k));
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TEST_F(XlsFile, DamagedCompoundFilesGiveErrorsNotHangs)
{
    std::string looped = m_dir.file("looped.xls");
    writeCompoundFile(looped, "Workbook", workbookStream());
    makeChainLoop(looped);
    test::BiffRecordingSink sink;
    Status st = openAndRead(looped, sink);
    EXPECT_FALSE(st);
    EXPECT_TRUE(st.code() == EngineErrc::DamagedFile || st.code() == EngineErrc::NotAWorkbook) << st.description();

    std::string whole = m_dir.file("whole.xls");
    writeCompoundFile(whole, "Workbook", workbookStream());
    std::string bytes = test::readFile(whole);
    for (std::size_t keep : {bytes.size() / 2, bytes.size() - 700, std::size_t{600}})
    {
        std::string cut = m_dir.write("cut.xls", bytes.substr(0, keep));
        test::BiffRecordingSink cutSink;
        EXPECT_FALSE(openAndRead(cut, cutSink)) << "kept " << keep << " bytes";
    }
}

TEST_F(XlsFile, Biff5WorkbookInBookStream)
{
    Bytes s;
    record(s, sid::Bof, words({0x0500, 0x0005, 0, 0}));
    record(s, sid::CodePage, words({1251}));
    Bytes bound;
    std::size_t boundAt = s.size() + 4;
    test::putU32(bound, 0);
    bound.insert(bound.end(), {0, 0, 4, 0xCB, 0xE8, 0xF1, 0xF2}); // "Лист" in cp1251
    record(s, sid::BoundSheet, bound);
    record(s, sid::Eof, {});
    auto offset = static_cast<std::uint32_t>(s.size());
    for (int i = 0; i < 4; ++i)
        s[boundAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(offset >> (8 * i));
    record(s, sid::Bof, words({0x0500, 0x0010, 0, 0}));
    Bytes label = words({0, 0, 0, 2});
    label.insert(label.end(), {0xC4, 0xE0}); // "Да"
    record(s, sid::Label, label);
    record(s, sid::Eof, {});
    std::string path = m_dir.file("biff5.xls");
    writeCompoundFile(path, "Book", s);
    test::BiffRecordingSink sink;
    ASSERT_TRUE(openAndRead(path, sink));
    EXPECT_EQ(sink.header.name, "\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82");
    ASSERT_EQ(sink.cells.size(), 1u);
    EXPECT_EQ(sink.cells[0].text, "\xD0\x94\xD0\xB0");
}

/// Checks the promises every sheet sink relies on while recording.
struct OrderCheckingSink : test::BiffRecordingSink
{
    void beginSheet(const model::SheetHeader& h) override
    {
        lastRow = -1;
        lastCol = -1;
        openRow = -1;
        test::BiffRecordingSink::beginSheet(h);
    }
    void row(const model::RowInfo& r) override
    {
        if (static_cast<std::int64_t>(r.row) <= openRow)
            ++violations;
        openRow = r.row;
        test::BiffRecordingSink::row(r);
    }
    void cell(const model::Cell& c) override
    {
        auto row = static_cast<std::int64_t>(c.row), col = static_cast<std::int64_t>(c.col);
        if (row < lastRow || (row == lastRow && col <= lastCol) || row != openRow)
            ++violations;
        lastRow = row;
        lastCol = col;
        ++cellCount;
    }
    std::int64_t lastRow = -1, lastCol = -1, openRow = -1;
    int violations = 0;
    std::size_t cellCount = 0;
};

TEST(XlsCorpus, EveryWorkbookOpensAndStreamsInOrder)
{
    VELQUIN_REQUIRE_CORPUS();
    int files = 0;
    for (const auto& path : test::corpusSources({"xls-biff8", "xls-biff5"}))
    {
        ++files;
        std::unique_ptr<model::WorkbookReader> reader;
        Status st = openXls(path.string(), reader);
        ASSERT_TRUE(st) << path << ": " << st.description();
        OrderCheckingSink sink;
        for (std::size_t i = 0; i < reader->info().sheets.size(); ++i)
        {
            Status sheet = reader->readSheet(static_cast<int>(i), sink);
            EXPECT_TRUE(sheet) << path << " sheet " << i << ": " << sheet.description();
        }
        EXPECT_EQ(sink.violations, 0) << path;
    }
    EXPECT_GT(files, 60);
}

TEST(XlsCorpus, LinksCommentsAndNamesOfKnownWorkbooks)
{
    VELQUIN_REQUIRE_CORPUS();
    auto open = [](const char* name, test::BiffRecordingSink& sink, int sheet = 0) {
        std::unique_ptr<model::WorkbookReader> reader;
        EXPECT_TRUE(openXls(test::requiredCorpusFile(name), reader));
        if (reader)
        {
            EXPECT_TRUE(reader->readSheet(sheet, sink));
        }
        return reader;
    };
    test::BiffRecordingSink links;
    open("hyperlink_stress_test_2011.xls", links);
    ASSERT_EQ(links.header.hyperlinks.size(), 7u);
    EXPECT_EQ(links.header.hyperlinks[3].href, "mailto:dev@sheetjs.com");
    EXPECT_EQ(links.header.hyperlinks[5].href, "../../sheetjs/Documents/Test.xlsx");
    EXPECT_EQ(links.header.hyperlinks[6].screenTip, "foo bar baz");

    test::BiffRecordingSink notes;
    open("comments_stress_test.xls", notes);
    ASSERT_EQ(notes.header.comments.size(), 10u);
    EXPECT_EQ(notes.header.comments[0].author, "Author");
    EXPECT_EQ(notes.header.comments[1].text.size(), 11u); // rich text keeps its runs

    test::BiffRecordingSink named;
    auto reader = open("named_ranges_2011.xls", named);
    ASSERT_TRUE(reader);
    ASSERT_FALSE(reader->info().names.empty());
    EXPECT_EQ(reader->info().names[0].name, "col1_");
    EXPECT_EQ(reader->info().names[0].refersTo, "='Named Ranges'!R2C1:R6C1");
}

TEST(XlsCorpus, ConditionalFormatWithExactColours)
{
    // Saved by Excel 2007 or later: the CF record holds the palette's nearest colours, the CFEX the real ones.
    VELQUIN_REQUIRE_CORPUS();
    std::unique_ptr<model::WorkbookReader> reader;
    ASSERT_TRUE(openXls(test::requiredCorpusFile("pivot_table_named_range.xls"), reader));
    test::BiffRecordingSink sink;
    ASSERT_TRUE(reader->readSheet(2, sink));
    EXPECT_EQ(sink.header.name, "PTTable");
    ASSERT_EQ(sink.options.conditionalFormats.size(), 1u);
    const auto& format = sink.options.conditionalFormats[0];
    EXPECT_EQ(format.rangeR1C1, "R7C2:R8C4");
    ASSERT_EQ(format.rules.size(), 1u);
    EXPECT_EQ(format.rules[0].qualifier, "Greater");
    EXPECT_EQ(format.rules[0].value1, "5");
    EXPECT_EQ(format.rules[0].css, "color:#9C0006;background:#FFC7CE");
}

} // namespace
} // namespace velquin::engine::xls
