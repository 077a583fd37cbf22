// Workbooks made to hurt the readers: entity tricks, deep nesting, positions past the sheet, huge claimed counts,
// zip parts lying about their size, and compound files whose sector chains loop or share sectors or whose directory
// is nested too deep. Each one gives an engine error (or converts, where nothing is wrong but the claim), never a
// crash, a hang or a half-written output.
#include "engine/Engine.h"
#include "tests/hardening/ConverterRun.h"
#include "tests/hardening/DamagedFiles.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
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

/// A BIFF8 workbook stream of about `size` bytes that converts: globals padded with filler records, one empty sheet.
std::string convertibleBiffStream(std::size_t size)
{
    const auto record = [](std::uint16_t type, const std::string& data) {
        std::string r(4, '\0');
        r[0] = static_cast<char>(type & 0xFF);
        r[1] = static_cast<char>(type >> 8);
        r[2] = static_cast<char>(data.size() & 0xFF);
        r[3] = static_cast<char>(data.size() >> 8);
        return r + data;
    };
    const std::string eof = record(0x000A, "");
    std::string stream = biffStreamOfSize(size);
    std::string boundSheet(6, '\0');
    boundSheet += std::string("\x06\x00Sheet1", 8);
    put32(boundSheet, 0, static_cast<std::uint32_t>(stream.size() + 4 + boundSheet.size() + eof.size()));
    stream += record(0x0085, boundSheet) + eof;
    std::string sheetBof = biffStreamOfSize(0);
    sheetBof[6] = 0x10; // a worksheet
    return stream + sheetBof + eof;
}

/// Reads and edits the allocation of a compound file that makeCompoundFile wrote (FAT sectors all in the header).
struct CompoundFileEditor
{
    std::string bytes;

    std::size_t sectorSize() const { return std::size_t(1) << static_cast<unsigned char>(bytes[30]); }
    std::size_t sectorOffset(std::uint32_t sector) const { return (std::size_t(sector) + 1) * sectorSize(); }
    std::size_t fatSlot(std::uint32_t sector) const
    {
        const std::size_t perSector = sectorSize() / 4;
        return sectorOffset(get32(bytes, 0x4C + 4 * (sector / perSector))) + 4 * (sector % perSector);
    }
    std::uint32_t next(std::uint32_t sector) const { return get32(bytes, fatSlot(sector)); }
    void setNext(std::uint32_t sector, std::uint32_t next) { put32(bytes, fatSlot(sector), next); }
    std::uint32_t directoryStart() const { return get32(bytes, 0x30); }

    /// Offsets of the directory's entries, in entry order.
    std::vector<std::size_t> entries() const
    {
        std::vector<std::size_t> offsets;
        for (std::uint32_t sector = directoryStart(); sector < 0xFFFFFFFA && offsets.size() < 100000;
             sector = next(sector))
            for (std::size_t at = 0; at < sectorSize(); at += 128)
                offsets.push_back(sectorOffset(sector) + at);
        return offsets;
    }
    std::size_t entry(const std::string& name) const
    {
        std::string utf16;
        for (char c : name)
            utf16 += std::string{c, '\0'};
        for (std::size_t at : entries())
            if (bytes.compare(at, utf16.size() + 2, utf16 + std::string(2, '\0')) == 0)
                return at;
        ADD_FAILURE() << "no entry " << name;
        return 0;
    }
    std::uint32_t start(const std::string& name) const { return get32(bytes, entry(name) + 0x74); }
    void setStart(const std::string& name, std::uint32_t sector) { put32(bytes, entry(name) + 0x74, sector); }
};

TEST(HostileInput, CompoundFileSectorChainsThatLoop)
{
    // 8 KB keeps the stream in regular 512-byte sectors (the mini stream holds streams under 4 KB).
    const CompoundFileEditor file{makeCompoundFile({{"Workbook", biffStreamOfSize(8192)}})};
    ASSERT_GE(file.bytes.size(), 1024u);
    const std::uint32_t start = file.start("Workbook");

    // The stream's third sector points back at its first.
    CompoundFileEditor loop = file;
    loop.setNext(file.next(file.next(start)), start);
    const Outcome looped = convert(loop.bytes, ".xls");
    EXPECT_EQ(looped.status.code(), EngineErrc::DamagedFile) << looped.status.description();
    EXPECT_LT(looped.seconds, 5);

    // The first sector points at itself.
    CompoundFileEditor self = file;
    self.setNext(start, start);
    EXPECT_EQ(convert(self.bytes, ".xls").status.code(), EngineErrc::DamagedFile);
}

/// A SummaryInformation property set whose one property is the title, padded with zeros to `size` bytes.
std::string summaryWithTitle(const std::string& title, std::size_t size)
{
    std::string set(48, '\0');
    set[0] = '\xFE';
    set[1] = '\xFF';
    put32(set, 24, 1);  // one section
    put32(set, 44, 48); // at offset 48
    std::string section(16, '\0');
    put32(section, 4, 1);   // one property
    put32(section, 8, 2);   // the title
    put32(section, 12, 16); // at offset 16 in the section
    std::string value(8, '\0');
    value[0] = 30; // VT_LPSTR
    put32(value, 4, static_cast<std::uint32_t>(title.size() + 1));
    section += value + title + '\0';
    put32(section, 0, static_cast<std::uint32_t>(section.size()));
    set += section;
    set.resize(std::max(set.size(), size), '\0');
    return set;
}

TEST(HostileInput, CompoundFileChainsThatShareSectors)
{
    // Both streams over 4 KB, so both live in regular sectors.
    const CompoundFileEditor sound{makeCompoundFile(
        {{"Workbook", convertibleBiffStream(8192)}, {"\005SummaryInformation", summaryWithTitle("Ledger", 5000)}})};
    const Outcome converted = convert(sound.bytes, ".xls");
    ASSERT_TRUE(converted.status) << converted.status.description();
    EXPECT_NE(converted.output.find("<Title>Ledger</Title>"), std::string::npos);
    const std::uint32_t workbook = sound.start("Workbook");

    // The workbook's second sector is the directory's first.
    CompoundFileEditor intoDirectory = sound;
    intoDirectory.setNext(workbook, sound.directoryStart());
    const Outcome throughDirectory = convert(intoDirectory.bytes, ".xls");
    EXPECT_EQ(throughDirectory.status.code(), EngineErrc::DamagedFile);
    EXPECT_NE(throughDirectory.status.detail().find("the Workbook stream and the directory share sector " +
                                                    std::to_string(sound.directoryStart())),
              std::string::npos)
        << throughDirectory.status.description();

    // The property set starts inside the workbook: the workbook converts, the properties are dropped.
    CompoundFileEditor sharedWithSummary = sound;
    sharedWithSummary.setStart("\005SummaryInformation", sound.next(workbook));
    const Outcome withoutProperties = convert(sharedWithSummary.bytes, ".xls");
    ASSERT_TRUE(withoutProperties.status) << withoutProperties.status.description();
    EXPECT_EQ(withoutProperties.output.find("Ledger"), std::string::npos);

    // The FAT's first sector listed a second time in the header.
    CompoundFileEditor fatTwice = sound;
    const std::uint32_t fatSectors = get32(sound.bytes, 0x2C);
    put32(fatTwice.bytes, 0x4C + 4 * fatSectors, get32(sound.bytes, 0x4C));
    put32(fatTwice.bytes, 0x2C, fatSectors + 1);
    const Outcome listedTwice = convert(fatTwice.bytes, ".xls");
    EXPECT_EQ(listedTwice.status.code(), EngineErrc::DamagedFile) << listedTwice.status.description();
}

TEST(HostileInput, CompoundFileMiniStreamThatSharesSectors)
{
    // The property set is small enough for the mini stream; the workbook is not.
    CompoundFileEditor file{makeCompoundFile(
        {{"Workbook", convertibleBiffStream(8192)}, {"\005SummaryInformation", summaryWithTitle("Ledger", 200)}})};
    ASSERT_NE(convert(file.bytes, ".xls").output.find("Ledger"), std::string::npos);

    // The root entry's chain (the mini stream) starts in the directory: only the streams inside it are lost.
    file.setStart("Root Entry", file.directoryStart());
    const Outcome outcome = convert(file.bytes, ".xls");
    ASSERT_TRUE(outcome.status) << outcome.status.description();
    EXPECT_EQ(outcome.output.find("Ledger"), std::string::npos);

    // Both streams in mini sectors, the property set starting in the workbook's second one.
    CompoundFileEditor small{makeCompoundFile(
        {{"Workbook", convertibleBiffStream(300)}, {"\005SummaryInformation", summaryWithTitle("Ledger", 200)}})};
    const Outcome smallConverted = convert(small.bytes, ".xls");
    ASSERT_TRUE(smallConverted.status) << smallConverted.status.description();
    ASSERT_NE(smallConverted.output.find("Ledger"), std::string::npos);
    small.setStart("\005SummaryInformation", small.start("Workbook") + 1);
    const Outcome sharedMiniSector = convert(small.bytes, ".xls");
    ASSERT_TRUE(sharedMiniSector.status) << sharedMiniSector.status.description();
    EXPECT_EQ(sharedMiniSector.output.find("Ledger"), std::string::npos);
}

/// Relinks the entries [first, last) of the directory as a balanced tree of siblings; returns the top entry's number.
std::uint32_t linkBalanced(CompoundFileEditor& file, const std::vector<std::size_t>& offsets, std::uint32_t first,
                           std::uint32_t last)
{
    if (first >= last)
        return 0xFFFFFFFF;
    const std::uint32_t middle = first + (last - first) / 2;
    put32(file.bytes, offsets[middle] + 0x44, linkBalanced(file, offsets, first, middle));
    put32(file.bytes, offsets[middle] + 0x48, linkBalanced(file, offsets, middle + 1, last));
    return middle;
}

TEST(HostileInput, ParallelConversionsOfCompoundFilesReportOnlyTheirOwnErrors)
{
    // Many .xls files converted at once in one process: sound files all convert, and a damaged one gives one line
    // of error, nothing else on stderr.
    TempDir dir;
    const std::string sound = makeCompoundFile({{"Workbook", convertibleBiffStream(8192)}});
    for (int i = 0; i < 12; ++i)
        dir.write("in/book" + std::to_string(i) + ".xls", sound);
    CompoundFileEditor broken{sound};
    broken.bytes.resize(broken.bytes.size() * 2 / 3);
    dir.write("in/broken.xls", broken.bytes);
    const ConverterRun run = runConverter({"-j", "4", "-d", dir.file("out"), dir.file("in")}, 60);
    ASSERT_TRUE(run.exited) << "signal " << run.signal;
    EXPECT_EQ(run.exitCode, 1) << run.errorOutput;
    EXPECT_EQ(failedSources(run.errorOutput), std::vector<std::string>{dir.file("in/broken.xls")});
    EXPECT_EQ(std::count(run.errorOutput.begin(), run.errorOutput.end(), '\n'), 1) << run.errorOutput;
    for (int i = 0; i < 12; ++i)
        EXPECT_TRUE(isWellFormedXml(dir.file("out/book" + std::to_string(i) + ".xml"))) << i;
}

TEST(HostileInput, CompoundFileDirectoryNestedTooDeep)
{
    // makeCompoundFile links the siblings of a storage as one list, so 6000 streams make a tree 6000 entries deep;
    // a reader that recursed would overflow its stack some tens of thousands deep.
    std::vector<std::pair<std::string, std::string>> streams{{"Workbook", convertibleBiffStream(8192)}};
    for (int i = 0; i < 6000; ++i)
        streams.emplace_back("S" + std::to_string(i), "x");
    CompoundFileEditor file{makeCompoundFile(streams)};
    const Outcome deep = convert(file.bytes, ".xls");
    EXPECT_EQ(deep.status.code(), EngineErrc::LimitExceeded) << deep.status.description();

    // The same entries as a balanced tree are only 13 levels deep.
    const std::vector<std::size_t> offsets = file.entries();
    std::uint32_t used = 1;
    while (used < offsets.size() && get32(file.bytes, offsets[used] + 0x40) != 0)
        ++used;
    put32(file.bytes, offsets[0] + 0x4C, linkBalanced(file, offsets, 1, used));
    const Outcome wide = convert(file.bytes, ".xls");
    EXPECT_TRUE(wide.status) << wide.status.description();
}

} // namespace
} // namespace velquin::test
