// Workbooks made to hurt the readers: entity tricks, deep nesting, positions past the sheet, huge claimed counts,
// zip parts lying about their size and compound files whose sector chains loop. Each one gives an engine error (or
// converts, where nothing is wrong but the claim), never a crash, a hang or a half-written output.
#include "engine/Engine.h"
#include "tests/hardening/ConverterRun.h"
#include "tests/hardening/DamagedFiles.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

namespace velquin::test {
namespace {

namespace fs = std::filesystem;
using engine::EngineErrc;
using engine::Status;

struct Outcome
{
    Status status;
    std::string output; ///< the SpreadsheetML written, when the conversion succeeded
    double seconds = 0;
};

/// Opens and saves `bytes` through the engine's entry points, checking that a failure leaves no file behind.
Outcome convert(const std::string& bytes, const char* extension = ".xlsx")
{
    TempDir dir;
    const std::string source = dir.write(std::string("in") + extension, bytes);
    const std::string target = dir.file("out.xml");
    const auto start = std::chrono::steady_clock::now();
    Outcome outcome;
    std::unique_ptr<engine::model::WorkbookReader> reader;
    outcome.status = engine::openWorkbook(source, reader);
    if (outcome.status)
        outcome.status = engine::saveAsSpreadsheetMl(*reader, target);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (outcome.status)
    {
        EXPECT_TRUE(isWellFormedXml(target));
        outcome.output = readFile(target);
    }
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        files += entry.path().filename() != "in.xlsx" && entry.path().filename() != "in.xls";
    EXPECT_EQ(files, outcome.status ? 1u : 0u) << "a failed conversion left files behind";
    return outcome;
}

std::string withSheetPart(const std::string& sheetXml)
{
    auto parts = xlsxParts("");
    for (auto& [name, content] : parts)
        if (name == "xl/worksheets/sheet1.xml")
            content = sheetXml;
    return makeZip(parts);
}

constexpr char kWorksheetOpen[] = R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)";

TEST(HostileInput, DocumentTypeDeclarationsAreRefused)
{
    // A billion laughs: every entity level multiplies the text by ten.
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE worksheet [<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 9; ++i)
    {
        laughs += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k)
            laughs += "&l" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    laughs += "]>" + std::string(kWorksheetOpen) +
              R"(<sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>&l9;</t></is></c></row></sheetData></worksheet>)";
    const Outcome bomb = convert(withSheetPart(laughs));
    EXPECT_EQ(bomb.status.code(), EngineErrc::DamagedFile) << bomb.status.description();
    EXPECT_LT(bomb.seconds, 5);

    const std::string external =
        R"(<?xml version="1.0"?><!DOCTYPE worksheet [<!ENTITY secret SYSTEM "file:///etc/hostname">]>)" +
        std::string(kWorksheetOpen) +
        R"(<sheetData><row r="1"><c r="A1" t="inlineStr"><is><t>&secret;</t></is></c></row></sheetData></worksheet>)";
    EXPECT_EQ(convert(withSheetPart(external)).status.code(), EngineErrc::DamagedFile);
}

TEST(HostileInput, DeepNestingIsALimitNotARecursion)
{
    std::string deep = std::string(kWorksheetOpen) + "<sheetData>";
    for (int i = 0; i < 200000; ++i)
        deep += "<x>";
    for (int i = 0; i < 200000; ++i)
        deep += "</x>";
    deep += "</sheetData></worksheet>";
    EXPECT_EQ(convert(withSheetPart(deep)).status.code(), EngineErrc::LimitExceeded);
}

TEST(HostileInput, PositionsPastTheSheetAreErrors)
{
    for (const char* rows :
         {R"(<row r="1048577"><c r="A1048577"><v>1</v></c></row>)", R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)",
          R"(<row r="4294967297"><c><v>1</v></c></row>)",
          R"(<row r="1048576"><c r="XFD1048576"><v>1</v></c></row><row><c><v>2</v></c></row>)"})
    {
        SCOPED_TRACE(rows);
        const Outcome outcome = convert(makeXlsx(rows));
        EXPECT_EQ(outcome.status.code(), EngineErrc::DamagedFile) << outcome.status.description();
    }
    // The last cell of the sheet itself is fine.
    EXPECT_TRUE(convert(makeXlsx(R"(<row r="1048576"><c r="XFD1048576"><v>1</v></c></row>)")).status);
}

TEST(HostileInput, ClaimedCountsAllocateNothingUpFront)
{
    auto parts = xlsxParts(R"(<row r="1"><c r="A1" t="s" s="1"><v>0</v></c></row>)");
    for (auto& [name, content] : parts)
    {
        if (name == "xl/_rels/workbook.xml.rels")
            content.insert(content.find("</Relationships>"),
                           R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/)"
                           R"(relationships/sharedStrings" Target="sharedStrings.xml"/>)"
                           R"(<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/)"
                           R"(relationships/styles" Target="styles.xml"/>)");
    }
    parts.emplace_back("xl/sharedStrings.xml",
                       R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                       R"(count="2147483648" uniqueCount="2147483648"><si><t>only one</t></si></sst>)");
    parts.emplace_back("xl/styles.xml",
                       R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
                       R"(<fonts count="2147483647"><font><sz val="11"/><name val="Calibri"/></font></fonts>)"
                       R"(<cellXfs count="4294967295"><xf fontId="0"/><xf fontId="0"/></cellXfs></styleSheet>)");
    const Outcome outcome = convert(makeZip(parts));
    ASSERT_TRUE(outcome.status) << outcome.status.description();
    EXPECT_NE(outcome.output.find("only one"), std::string::npos);
}

std::uint32_t get32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<std::size_t>(k)]);
    return v;
}

void put32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (std::size_t k = 0; k < 4; ++k)
        b[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

/// Sets the uncompressed size that the local header and the central directory give for `part`.
void claimSize(std::string& package, const std::string& part, std::uint32_t size)
{
    for (std::size_t at = package.find("PK\x03\x04"); at != std::string::npos; at = package.find("PK\x03\x04", at + 4))
        if (package.compare(at + 30, part.size(), part) == 0)
            put32(package, at + 22, size);
    for (std::size_t at = package.find("PK\x01\x02"); at != std::string::npos; at = package.find("PK\x01\x02", at + 4))
        if (package.compare(at + 46, part.size(), part) == 0)
            put32(package, at + 24, size);
}

TEST(HostileInput, ZipPartsLyingAboutTheirSize)
{
    // 16 MB of whitespace in the sheet: deflates to a few KB.
    const std::string sheet = std::string(kWorksheetOpen) + "<sheetData>" + std::string(16u << 20, ' ') +
                              R"(<row r="1"><c r="A1"><v>1</v></c></row></sheetData></worksheet>)";
    const std::string package = withSheetPart(sheet);

    std::string understated = package;
    claimSize(understated, "xl/worksheets/sheet1.xml", 4096);
    const Outcome small = convert(understated);
    EXPECT_EQ(small.status.code(), EngineErrc::DamagedFile) << small.status.description();

    std::string overstated = package;
    claimSize(overstated, "xl/worksheets/sheet1.xml", 0xF0000000u);
    const Outcome large = convert(overstated);
    EXPECT_EQ(large.status.code(), EngineErrc::LimitExceeded) << large.status.description();
}

TEST(HostileInput, ClaimedPartSizeIsNotAllocatedUpFront)
{
    // 400 KB of random letters deflate to about 240 KB, so a claim of 230 MB stays under the ratio limit.
    std::mt19937 random(7);
    std::string letters(400u << 10, 'a');
    for (char& c : letters)
        c = static_cast<char>('a' + random() % 26);
    auto parts = xlsxParts(R"(<row r="1"><c r="A1"><v>1</v></c></row>)");
    parts[0].second.insert(parts[0].second.find("<Types"), "<!-- " + letters + " -->");
    std::string package = makeZip(parts);
    claimSize(package, "[Content_Types].xml", 230u << 20);
    TempDir dir;
    const std::string source = dir.write("claim.xlsx", package);
    const ConverterRun run = runConverter({source, dir.file("claim.xml")}, 60);
    EXPECT_EQ(run.exitCode, 1) << run.errorOutput;
    EXPECT_NE(run.errorOutput.find(": 1006: "), std::string::npos) << run.errorOutput;
    EXPECT_LT(run.peakRssKb, 100 * 1024);
}

/// A BIFF8 workbook stream of `size` bytes: a BOF record followed by filler records.
std::string biffStreamOfSize(std::size_t size)
{
    std::string stream("\x09\x08\x10\x00\x00\x06\x05\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 20);
    while (stream.size() + 4 + 100 <= size)
        stream += std::string("\xFF\x00\x64\x00", 4) + std::string(100, '\0'); // unknown record 0x00FF
    return stream;
}

TEST(HostileInput, CompoundFileSectorChainsThatLoop)
{
    // 8 KB keeps the stream in regular 512-byte sectors (the mini stream holds streams under 4 KB).
    std::string file = makeCompoundFile({{"Workbook", biffStreamOfSize(8192)}});
    ASSERT_GE(file.size(), 1024u);
    const std::size_t sectorSize = std::size_t(1) << (static_cast<unsigned char>(file[30]));
    const auto sectorOffset = [&](std::uint32_t sector) { return (static_cast<std::size_t>(sector) + 1) * sectorSize; };
    const std::uint32_t firstFat = get32(file, 0x4C);
    const std::size_t directory = sectorOffset(get32(file, 0x30));
    std::uint32_t start = 0xFFFFFFFF;
    for (std::size_t entry = directory; entry + 128 <= directory + sectorSize; entry += 128)
        if (std::memcmp(file.data() + entry, "W\0o\0r\0k\0b\0o\0o\0k\0", 16) == 0)
            start = get32(file, entry + 0x74);
    ASSERT_NE(start, 0xFFFFFFFFu);

    // The stream's third sector points back at its first.
    std::string loop = file;
    std::uint32_t second = get32(file, sectorOffset(firstFat) + 4 * start);
    std::uint32_t third = get32(file, sectorOffset(firstFat) + 4 * second);
    put32(loop, sectorOffset(firstFat) + 4 * third, start);
    const Outcome looped = convert(loop, ".xls");
    EXPECT_EQ(looped.status.code(), EngineErrc::DamagedFile) << looped.status.description();
    EXPECT_LT(looped.seconds, 5);

    // The first sector points at itself.
    std::string self = file;
    put32(self, sectorOffset(firstFat) + 4 * start, start);
    EXPECT_EQ(convert(self, ".xls").status.code(), EngineErrc::DamagedFile);
}

} // namespace
} // namespace velquin::test
