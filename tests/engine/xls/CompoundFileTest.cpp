// The compound-file reader from bytes: streams in sectors and in the mini stream, names, the damage Excel
// tolerates and the damage it does not.
#include "engine/xls/CompoundFile.h"
#include "tests/support/CompoundFileBuilder.h"

#include <gtest/gtest.h>

namespace velquin::engine::xls {
namespace {

constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;

std::uint32_t get32(const std::string& b, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t k = 0; k < 4; ++k)
        v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(b[at + k])) << (8 * k);
    return v;
}

void put32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (std::size_t k = 0; k < 4; ++k)
        b[at + k] = static_cast<char>((v >> (8 * k)) & 0xFF);
}

std::string pattern(std::size_t size, int seed)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed) * 7 + i / 251) & 0xFF);
    return s;
}

/// Offsets into a file makeCompoundFile wrote with 512-byte sectors.
std::size_t sectorAt(std::uint32_t sector)
{
    return (std::size_t(sector) + 1) * 512;
}
std::size_t fatSlot(const std::string& file, std::uint32_t sector)
{
    return sectorAt(get32(file, 0x4C + 4 * (sector / 128))) + 4 * (sector % 128);
}
std::size_t entryAt(const std::string& file, std::uint32_t entry)
{
    return sectorAt(get32(file, 0x30)) + 128 * std::size_t(entry);
}

struct Opened
{
    CompoundFile file;
    Status status;
};

std::unique_ptr<Opened> openBytes(const std::string& bytes)
{
    auto opened = std::make_unique<Opened>();
    opened->status = opened->file.open(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    return opened;
}

/// The whole stream at `path`, or the error that stopped it.
std::string readStream(const CompoundFile& file, const std::string& path, Status* status = nullptr)
{
    const auto index = file.find(path);
    if (!index)
        return "(missing)";
    std::unique_ptr<CompoundStream> stream;
    Status st = file.openStream(*index, stream);
    if (status)
        *status = st;
    if (!st)
        return "(damaged)";
    std::string bytes(static_cast<std::size_t>(stream->size()), '\0');
    if (!stream->read(0, {reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()}))
        return "(unreadable)";
    return bytes;
}

class CompoundFileSectors : public ::testing::TestWithParam<unsigned>
{
};

TEST_P(CompoundFileSectors, StreamsFromSectorsAndFromTheMiniStream)
{
    const std::string big = pattern(10000, 1), small = pattern(300, 2), inner = pattern(5000, 3);
    auto opened = openBytes(test::makeCompoundFile(
        {{"Workbook", big}, {"\005SummaryInformation", small}, {"Storage/Inner", inner}, {"\xC3\x84rger", "x"}},
        GetParam()));
    ASSERT_TRUE(opened->status) << opened->status.description();
    const CompoundFile& file = opened->file;
    EXPECT_EQ(readStream(file, "WORKBOOK"), big);
    EXPECT_EQ(readStream(file, "\005summaryinformation"), small);
    EXPECT_EQ(readStream(file, "storage/INNER"), inner);
    EXPECT_EQ(readStream(file, "\xC3\xA4RGER"), "x"); // "ärger" finds "Ärger"
    EXPECT_FALSE(file.find("Inner"));
    EXPECT_FALSE(file.find("Workbook/Inner"));

    // At an offset, across sector boundaries, and never past the end.
    std::unique_ptr<CompoundStream> stream;
    ASSERT_TRUE(file.openStream(*file.find("Workbook"), stream));
    std::vector<std::uint8_t> piece(1500);
    ASSERT_TRUE(stream->read(4000, piece));
    EXPECT_EQ(std::string(piece.begin(), piece.end()), big.substr(4000, 1500));
    EXPECT_FALSE(stream->read(9000, piece));
}

INSTANTIATE_TEST_SUITE_P(Version3And4, CompoundFileSectors, ::testing::Values(9u, 12u));

TEST(CompoundFile, FatSectorsPastTheEndOfTheFileAreFree)
{
    const std::string sound = test::makeCompoundFile({{"Workbook", pattern(8192, 4)}});
    const std::uint32_t fatSectors = get32(sound, 0x2C);

    // The header announces three more FAT sectors than the file holds.
    std::string extra = sound;
    put32(extra, 0x2C, fatSectors + 3);
    for (std::uint32_t k = 0; k < 3; ++k)
        put32(extra, 0x4C + 4 * (fatSectors + k), 5000 + k);
    auto opened = openBytes(extra);
    ASSERT_TRUE(opened->status) << opened->status.description();
    EXPECT_EQ(readStream(opened->file, "Workbook"), pattern(8192, 4));

    // More FAT sectors than the header lists, the rest in a DIFAT sector past the end.
    std::string difat = sound;
    put32(difat, 0x2C, 300);
    put32(difat, 0x44, 90000);
    put32(difat, 0x48, 2);
    opened = openBytes(difat);
    ASSERT_TRUE(opened->status) << opened->status.description();
    EXPECT_EQ(readStream(opened->file, "Workbook"), pattern(8192, 4));

    // The FAT, last in the file, cut short after the entries of the sectors in use.
    const std::size_t fatAt = sectorAt(get32(sound, 0x4C));
    ASSERT_EQ(fatAt + 512, sound.size());
    opened = openBytes(sound.substr(0, fatAt + 4 * 24));
    ASSERT_TRUE(opened->status) << opened->status.description();
    EXPECT_EQ(readStream(opened->file, "Workbook"), pattern(8192, 4));

    // Free or not, a chain in use may not go there.
    put32(extra, fatSlot(extra, 3), 5000);
    opened = openBytes(extra);
    ASSERT_TRUE(opened->status);
    Status st;
    readStream(opened->file, "Workbook", &st);
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
    EXPECT_NE(st.detail().find("the Workbook stream leaves the file at sector 5000"), std::string::npos)
        << st.detail();
}

TEST(CompoundFile, ChainsThatLoopLeaveOrEndEarly)
{
    const std::string sound = test::makeCompoundFile({{"Workbook", pattern(8192, 5)}, {"Small", pattern(300, 6)}});
    struct Case
    {
        const char* what;
        std::uint32_t sector;
        std::uint32_t next;
        const char* detail;
    };
    for (const Case& c : {Case{"loop", 2, 0, "the Workbook stream comes back to sector 0"},
                          Case{"past the end", 3, 100000, "the Workbook stream leaves the file at sector 100000"},
                          Case{"early end", 3, kEndOfChain, "the Workbook stream ends after 4 of its 16 sectors"}})
    {
        std::string bytes = sound;
        put32(bytes, fatSlot(bytes, c.sector), c.next);
        auto opened = openBytes(bytes);
        ASSERT_TRUE(opened->status) << c.what;
        Status st;
        EXPECT_EQ(readStream(opened->file, "Workbook", &st), "(damaged)") << c.what;
        EXPECT_NE(st.detail().find(c.detail), std::string::npos) << st.detail();
        EXPECT_EQ(readStream(opened->file, "Small"), pattern(300, 6)) << c.what;
    }

    // In the mini stream: the MiniFAT is the root's first sector after the mini stream's.
    std::string mini = sound;
    const std::uint32_t miniFat = get32(mini, 0x3C);
    put32(mini, sectorAt(miniFat) + 4 * 2, 0);
    auto opened = openBytes(mini);
    ASSERT_TRUE(opened->status);
    Status st;
    readStream(opened->file, "Small", &st);
    EXPECT_NE(st.detail().find("the Small stream comes back to mini sector 0"), std::string::npos) << st.detail();

    // A size the chain cannot hold.
    std::string large = sound;
    put32(large, entryAt(large, 1) + 0x78, 1 << 20);
    opened = openBytes(large);
    readStream(opened->file, "Workbook", &st);
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
}

TEST(CompoundFile, UpperHalfOfTheStreamSizeCountsOnlyWithLargeSectors)
{
    // Old writers left it unwritten in files of 512-byte sectors; with 4096-byte sectors it is part of the size.
    std::string v3 = test::makeCompoundFile({{"Workbook", pattern(5000, 7)}});
    put32(v3, entryAt(v3, 1) + 0x7C, 0xDEADBEEF);
    auto opened = openBytes(v3);
    ASSERT_TRUE(opened->status);
    EXPECT_EQ(readStream(opened->file, "Workbook"), pattern(5000, 7));

    std::string v4 = test::makeCompoundFile({{"Workbook", pattern(5000, 7)}}, 12);
    put32(v4, 4096 * (std::size_t(get32(v4, 0x30)) + 1) + 128 + 0x7C, 1);
    opened = openBytes(v4);
    ASSERT_TRUE(opened->status);
    Status st;
    readStream(opened->file, "Workbook", &st);
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
}

TEST(CompoundFile, EntriesOfUnknownTypeOrColourAreSkipped)
{
    // The root's children are linked as a list: A, then B, then C.
    const std::string sound = test::makeCompoundFile({{"A", "1"}, {"B", "2"}, {"C", "3"}});
    for (const auto& [offset, value] : {std::pair{0x42, 7}, std::pair{0x43, 2}})
    {
        std::string bytes = sound;
        bytes[entryAt(bytes, 2) + static_cast<std::size_t>(offset)] = static_cast<char>(value);
        auto opened = openBytes(bytes);
        ASSERT_TRUE(opened->status) << opened->status.description();
        EXPECT_FALSE(opened->file.find("B"));
        EXPECT_EQ(readStream(opened->file, "A"), "1");
        EXPECT_EQ(readStream(opened->file, "C"), "3");
    }
}

TEST(CompoundFile, DamagedStructuresRefuseTheFile)
{
    const std::string sound = test::makeCompoundFile({{"Workbook", pattern(8192, 8)}});
    EXPECT_EQ(openBytes("not a compound file at all")->status.code(), EngineErrc::NotAWorkbook);
    EXPECT_EQ(openBytes(sound.substr(0, 300))->status.code(), EngineErrc::DamagedFile);

    std::string shift = sound;
    shift[0x1E] = 20;
    EXPECT_EQ(openBytes(shift)->status.code(), EngineErrc::DamagedFile);

    // The directory's chain runs into the FAT.
    std::string directory = sound;
    const std::uint32_t dir = get32(sound, 0x30);
    put32(directory, fatSlot(directory, dir), get32(sound, 0x4C));
    const Status st = openBytes(directory)->status;
    EXPECT_EQ(st.code(), EngineErrc::DamagedFile);
    EXPECT_NE(st.detail().find("the directory and the FAT share sector " + std::to_string(get32(sound, 0x4C))),
              std::string::npos)
        << st.detail();
}

} // namespace
} // namespace velquin::engine::xls
