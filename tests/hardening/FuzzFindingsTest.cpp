// Inputs the fuzzers found, cut down to what matters: each broke a promise the readers make to the writer.
#include "engine/Engine.h"
#include "tests/hardening/DamagedFiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace velquin::test {
namespace {

namespace model = engine::model;

struct HeaderAndOptions : model::SheetSink
{
    model::SheetHeader header;
    model::SheetOptions options;
    void beginSheet(const model::SheetHeader& h) override { header = h; }
    void row(const model::RowInfo&) override {}
    void cell(const model::Cell&) override {}
    void endSheet(const model::SheetOptions& o) override { options = o; }
};

HeaderAndOptions readFirstSheet(const std::string& path)
{
    HeaderAndOptions sink;
    std::unique_ptr<model::WorkbookReader> reader;
    const engine::Status opened = engine::openWorkbook(path, reader);
    EXPECT_TRUE(opened) << opened.description();
    if (opened)
    {
        const engine::Status read = reader->readSheet(0, sink);
        EXPECT_TRUE(read) << read.description();
    }
    return sink;
}

TEST(FuzzFindings, ColumnStyleMissingFromStylesHasNone)
{
    auto parts = xlsxParts(R"(<row r="1"><c r="A1"><v>1</v></c></row>)");
    for (auto& [name, content] : parts)
        if (name == "xl/worksheets/sheet1.xml")
            content.insert(content.find("<sheetData>"), R"(<cols><col min="2" max="3" width="9" style="7"/></cols>)");
    TempDir dir;
    const HeaderAndOptions sheet = readFirstSheet(dir.write("cols.xlsx", makeZip(parts)));
    ASSERT_EQ(sheet.header.columns.size(), 1u);
    EXPECT_EQ(sheet.header.columns[0].style, -1);
}

void record(std::string& stream, std::uint16_t type, const std::string& data)
{
    const auto length = static_cast<std::uint16_t>(data.size());
    stream += {static_cast<char>(type & 0xFF), static_cast<char>(type >> 8), static_cast<char>(length & 0xFF),
               static_cast<char>(length >> 8)};
    stream += data;
}

std::string bof(std::uint16_t kind)
{
    std::string data("\x00\x06", 2);
    data += {static_cast<char>(kind & 0xFF), static_cast<char>(kind >> 8)};
    return data + std::string(12, '\0');
}

TEST(FuzzFindings, SelectionBeyondTheLastColumnIsDropped)
{
    std::string globals, sheet;
    record(globals, 0x0809, bof(0x0005));
    const std::size_t boundSheetAt = globals.size() + 4;
    record(globals, 0x0085, std::string("\0\0\0\0\0\0\x06\0Sheet1", 14));
    record(globals, 0x000A, "");
    record(sheet, 0x0809, bof(0x0010));
    // SELECTION: pane 3, active cell row 2, column 300 (a BIFF8 sheet has 256), one range A1:A1
    record(sheet, 0x001D, std::string("\x03\x02\x00\x2C\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00", 15));
    // and a sound one beside it: pane 2, active cell row 4, column 5, one range F5:F5
    record(sheet, 0x001D, std::string("\x02\x04\x00\x05\x00\x00\x00\x01\x00\x04\x00\x04\x00\x05\x05", 15));
    record(sheet, 0x000A, "");
    const auto offset = static_cast<std::uint32_t>(globals.size());
    for (std::size_t k = 0; k < 4; ++k)
        globals[boundSheetAt + k] = static_cast<char>((offset >> (8 * k)) & 0xFF);
    TempDir dir;
    const HeaderAndOptions read =
        readFirstSheet(dir.write("selection.xls", makeCompoundFile({{"Workbook", globals + sheet}})));
    ASSERT_EQ(read.options.selections.size(), 1u);
    EXPECT_EQ(read.options.selections[0].pane, 2);
    EXPECT_EQ(read.options.selections[0].activeRow, 4u);
    EXPECT_EQ(read.options.selections[0].activeCol, 5u);
}

} // namespace
} // namespace velquin::test
