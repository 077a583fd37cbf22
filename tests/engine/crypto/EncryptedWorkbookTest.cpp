// Encrypted workbooks: .xls streams encrypted here with RC4 and XOR obfuscation, packages encrypted here in the
// standard and the agile AES form, and the encrypted workbooks of the corpus with their passwords.
#include "engine/Deadline.h"
#include "engine/Engine.h"
#include "engine/crypto/EncryptedPackage.h"
#include "engine/crypto/PasswordKeys.h"
#include "engine/xls/BiffDecryption.h"
#include "engine/xls/RecordStream.h"
#include "tests/engine/crypto/PackageEncryption.h"
#include "tests/engine/xls/BiffBuilder.h"
#include "tests/engine/xlsx/XlsxTestPackage.h"
#include "tests/support/CompoundFileBuilder.h"
#include "tests/support/TestSupport.h"

#include <algorithm>
#include <bit>
#include <fstream>
#include <gtest/gtest.h>

namespace velquin::engine {
namespace {

using crypto::Bytes;
using test::record;
using test::words;

const Bytes kSalt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const Bytes kVerifier = {0x70, 0x61, 0x73, 0x73, 0x77, 0x6f, 0x72, 0x64,
                         0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28};

void writeCompoundFile(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& streams)
{
    std::vector<std::pair<std::string, std::string>> named;
    for (const auto& [name, bytes] : streams)
        named.emplace_back(name, std::string(bytes.begin(), bytes.end()));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << test::makeCompoundFile(named);
}

/// FILEPASS of RC4 encryption (version 1.1) for `password`: salt, then verifier and its MD5 under block 0's key.
Bytes rc4FilePass(const std::string& password)
{
    Bytes check = kVerifier;
    const Bytes digest = crypto::hash(crypto::HashAlgorithm::Md5, {kVerifier});
    check.insert(check.end(), digest.begin(), digest.end());
    crypto::Rc4 rc4;
    rc4.setKey(crypto::rc4BlockKey(crypto::rc4PasswordHash(crypto::utf16Password(password), kSalt), 0));
    rc4.apply(check);
    Bytes pass = words({1, 1, 1});
    pass.insert(pass.end(), kSalt.begin(), kSalt.end());
    pass.insert(pass.end(), check.begin(), check.end());
    return pass;
}

/// FILEPASS of RC4 over CryptoAPI (version 4.2, 128-bit key) for `password`.
Bytes cryptoApiFilePass(const std::string& password)
{
    Bytes check = kVerifier;
    const Bytes digest = crypto::hash(crypto::HashAlgorithm::Sha1, {kVerifier});
    check.insert(check.end(), digest.begin(), digest.end());
    crypto::Rc4 rc4;
    rc4.setKey(
        crypto::cryptoApiBlockKey(crypto::cryptoApiPasswordHash(crypto::utf16Password(password), kSalt), 0, 128));
    rc4.apply(check);
    Bytes pass = words({1, 4, 2});
    for (std::uint32_t v : {0x04u, 32u, 0x04u, 0u, 0x6801u, 0x8004u, 128u, 1u, 0u, 0u, 16u})
        test::putU32(pass, v);
    pass.insert(pass.end(), kSalt.begin(), kSalt.end());
    pass.insert(pass.end(), check.begin(), check.begin() + 16);
    test::putU32(pass, 20);
    pass.insert(pass.end(), check.begin() + 16, check.end());
    return pass;
}

/// FILEPASS of XOR obfuscation: type 0, key, verifier.
Bytes xorFilePass(const std::string& password)
{
    const Bytes bytes = crypto::xorPasswordBytes(password);
    return words({0, crypto::xorKey(bytes), crypto::xorVerifier(bytes)});
}

/// A BIFF8 workbook with FILEPASS after its BOF and one sheet "Sheet1" holding 42 in A1, its records after
/// FILEPASS encrypted with `password`.
Bytes encryptedStream(const Bytes& filePass, const std::string& password, Bytes* plain = nullptr)
{
    Bytes globals;
    record(globals, xls::sid::Bof, test::bof8(0x0005));
    record(globals, xls::sid::FilePass, filePass);
    const std::size_t encryptedFrom = globals.size();
    Bytes bound = words({0, 0, 0});
    bound.insert(bound.end(), {6, 0, 'S', 'h', 'e', 'e', 't', '1'});
    const std::size_t boundAt = globals.size() + 4;
    record(globals, xls::sid::BoundSheet, bound);
    record(globals, xls::sid::Eof, {});
    const auto offset = static_cast<std::uint32_t>(globals.size());
    for (std::size_t i = 0; i < 4; ++i)
        globals[boundAt + i] = static_cast<std::uint8_t>(offset >> (8 * i));
    record(globals, xls::sid::Bof, test::bof8(0x0010));
    Bytes number = words({0, 0, 0});
    const auto bits = std::bit_cast<std::uint64_t>(42.0);
    test::putU32(number, static_cast<std::uint32_t>(bits));
    test::putU32(number, static_cast<std::uint32_t>(bits >> 32));
    record(globals, xls::sid::Number, number);
    record(globals, xls::sid::Eof, {});
    if (plain)
        *plain = globals;
    EXPECT_TRUE(xls::encryptBiffStream(globals, encryptedFrom, filePass, true, password));
    return globals;
}

/// Gives the listed passwords one after another and records whether each ask followed a failure.
struct ScriptedPrompt
{
    std::vector<std::string> answers;
    std::vector<bool> lastFailed;

    PasswordPrompt prompt()
    {
        return [this](bool failed) -> std::optional<std::string> {
            lastFailed.push_back(failed);
            if (lastFailed.size() > answers.size())
                return std::nullopt;
            return answers[lastFailed.size() - 1];
        };
    }
};

class EncryptedWorkbook : public ::testing::Test
{
protected:
    Status open(const std::string& path, const PasswordPrompt& prompt, test::BiffRecordingSink& sink)
    {
        std::unique_ptr<model::WorkbookReader> reader;
        if (Status status = openWorkbook(path, reader, std::chrono::steady_clock::time_point::max(), prompt); !status)
            return status;
        EXPECT_EQ(reader->info().sheets.size(), 1u);
        return reader->readSheet(0, sink);
    }

    std::string writeXls(const Bytes& stream)
    {
        const std::string path = m_dir.file("book.xls");
        writeCompoundFile(path, {{"Workbook", stream}});
        return path;
    }

    test::TempDir m_dir;
};

TEST_F(EncryptedWorkbook, Rc4WithTheDefaultPasswordOpensWithoutAsking)
{
    Bytes plain;
    const Bytes stream = encryptedStream(rc4FilePass("VelvetSweatshop"), "VelvetSweatshop", &plain);
    // The header of each record stays plain, BOUNDSHEET's sheet position too; the payloads are encrypted.
    ASSERT_EQ(stream.size(), plain.size());
    EXPECT_NE(Bytes(stream.end() - 16, stream.end() - 4), Bytes(plain.end() - 16, plain.end() - 4));
    EXPECT_EQ(Bytes(stream.end() - 4, stream.end()), Bytes(plain.end() - 4, plain.end()));

    ScriptedPrompt nobody;
    test::BiffRecordingSink sink;
    ASSERT_TRUE(open(writeXls(stream), nobody.prompt(), sink));
    EXPECT_TRUE(nobody.lastFailed.empty());
    EXPECT_EQ(sink.header.name, "Sheet1");
    ASSERT_EQ(sink.cells.size(), 1u);
    EXPECT_EQ(sink.cells[0].number, 42.0);
}

TEST_F(EncryptedWorkbook, PasswordIsAskedUntilOneFitsAndTheErrorSaysWhichWasWrong)
{
    for (const auto& filePass : {rc4FilePass("secret"), xorFilePass("secret")})
    {
        const std::string path = writeXls(encryptedStream(filePass, "secret"));
        test::BiffRecordingSink sink;
        const Status none = open(path, {}, sink);
        EXPECT_EQ(none.code(), EngineErrc::EncryptedWorkbook);
        EXPECT_EQ(none.detail(), "A password is needed.");

        ScriptedPrompt wrong{{"Secret"}, {}};
        const Status refused = open(path, wrong.prompt(), sink);
        EXPECT_EQ(refused.code(), EngineErrc::EncryptedWorkbook);
        EXPECT_EQ(refused.detail(), "The password does not open it.");

        ScriptedPrompt second{{"wrong", "secret"}, {}};
        ASSERT_TRUE(open(path, second.prompt(), sink));
        EXPECT_EQ(second.lastFailed, (std::vector<bool>{false, true}));
        EXPECT_EQ(sink.header.name, "Sheet1");
        ASSERT_EQ(sink.cells.size(), 1u);
        EXPECT_EQ(sink.cells[0].number, 42.0);
    }
}

/// A property set with one section holding the title (property 2) as an 8-bit string.
Bytes summaryWithTitle(const std::string& title)
{
    Bytes set = words({0xFFFE, 0});
    set.resize(set.size() + 4 + 16, 0);
    test::putU32(set, 1);
    set.resize(set.size() + 16, 0x11); // the section's format id
    test::putU32(set, 48);
    Bytes value;
    test::putU32(value, 30); // VT_LPSTR
    test::putU32(value, static_cast<std::uint32_t>(title.size() + 1));
    value.insert(value.end(), title.begin(), title.end());
    value.resize((value.size() + 4) / 4 * 4, 0);
    for (std::uint32_t v : {static_cast<std::uint32_t>(16 + value.size()), 1u, 2u, 16u})
        test::putU32(set, v);
    set.insert(set.end(), value.begin(), value.end());
    return set;
}

/// The "encryption" stream as Excel writes it: the table's offset and size, each stream under its own block
/// (1, 2, ...), then the table of contents; the first and the last under block 0.
Bytes encryptedSummary(const std::vector<std::pair<std::string, Bytes>>& streams, const std::string& password)
{
    const Bytes base = crypto::cryptoApiPasswordHash(crypto::utf16Password(password), kSalt);
    const auto encrypt = [&](std::uint32_t block, std::span<std::uint8_t> data) {
        crypto::Rc4 rc4;
        rc4.setKey(crypto::cryptoApiBlockKey(base, block, 128));
        rc4.apply(data);
    };
    Bytes out(8, 0), table;
    test::putU32(table, static_cast<std::uint32_t>(streams.size()));
    std::uint8_t block = 0;
    for (const auto& [name, bytes] : streams)
    {
        Bytes data = bytes;
        encrypt(++block, data);
        test::putU32(table, static_cast<std::uint32_t>(out.size()));
        test::putU32(table, static_cast<std::uint32_t>(data.size()));
        table.insert(table.end(), {block, 0, static_cast<std::uint8_t>(name.size()), 1, 0, 0, 0, 0});
        for (char ch : name)
            table.insert(table.end(), {static_cast<std::uint8_t>(ch), 0});
        table.insert(table.end(), {0, 0});
        out.insert(out.end(), data.begin(), data.end());
    }
    Bytes head = words({static_cast<std::uint32_t>(out.size()), 0, static_cast<std::uint32_t>(table.size()), 0});
    encrypt(0, head);
    std::copy(head.begin(), head.end(), out.begin());
    encrypt(0, table);
    out.insert(out.end(), table.begin(), table.end());
    return out;
}

TEST_F(EncryptedWorkbook, CryptoApiReadsTheDocumentPropertiesFromTheEncryptedSummary)
{
    const Bytes placeholder = words({0xFFFE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Bytes summary = encryptedSummary({{"\005SummaryInformation", summaryWithTitle("Quarterly plans")},
                                            {"\005DocumentSummaryInformation", placeholder}},
                                           "secret");
    const Bytes stream = encryptedStream(cryptoApiFilePass("secret"), "secret");
    const std::string path = m_dir.file("book.xls");
    const auto openTitle = [&](const Bytes& encryption) {
        writeCompoundFile(
            path, {{"Workbook", stream}, {"\005DocumentSummaryInformation", placeholder}, {"encryption", encryption}});
        std::unique_ptr<model::WorkbookReader> reader;
        ScriptedPrompt right{{"secret"}, {}};
        const Status status = openWorkbook(path, reader, std::chrono::steady_clock::time_point::max(), right.prompt());
        EXPECT_TRUE(status) << status.description();
        return status ? reader->info().properties.title : std::string("(not opened)");
    };
    EXPECT_EQ(openTitle(summary), "Quarterly plans");

    // A table of contents that points past the stream's end, or a cut stream, loses the properties, not the workbook.
    Bytes pastTheEnd = summary;
    pastTheEnd[0] = 0xF0;
    EXPECT_EQ(openTitle(pastTheEnd), "");
    EXPECT_EQ(openTitle(Bytes(summary.begin(), summary.end() - 3)), "");
}

TEST(XorObfuscation, KeyAndVerifierOfAKnownPassword)
{
    // The corpus's XOR workbooks store key 0x147A and verifier 0x83AF for "password".
    const Bytes bytes = crypto::xorPasswordBytes("password");
    EXPECT_EQ(crypto::xorKey(bytes), 0x147A);
    EXPECT_EQ(crypto::xorVerifier(bytes), 0x83AF);
    // Only the first 15 characters count.
    EXPECT_EQ(crypto::xorPasswordBytes("0123456789abcdefgh").size(), 15u);
}

TEST_F(EncryptedWorkbook, StandardEncryptedPackageOpensWithItsPassword)
{
    const std::string zipPath = m_dir.file("plain.xlsx");
    ASSERT_TRUE(test::XlsxTestPackage().sheetData(R"(<row r="1"><c r="A1"><v>42</v></c></row>)").save(zipPath));
    const std::string path = m_dir.file("book.xlsx");
    test::writeEncryptedPackage(path, test::standardEncryption(zipPath, "secret"));

    std::unique_ptr<model::WorkbookReader> reader;
    const Status none = openWorkbook(path, reader);
    EXPECT_EQ(none.code(), EngineErrc::EncryptedWorkbook);
    EXPECT_EQ(none.detail(), "A password is needed.");

    ScriptedPrompt right{{"secret"}, {}};
    ASSERT_TRUE(openWorkbook(path, reader, std::chrono::steady_clock::time_point::max(), right.prompt()));
    test::RecordingSink sink;
    ASSERT_TRUE(reader->readSheet(0, sink));
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), "A1 n 42"), sink.lines.end());
}

TEST_F(EncryptedWorkbook, EncryptedPackageThatLiesAboutItsSizeIsDamaged)
{
    const std::string zipPath = m_dir.file("plain.xlsx");
    ASSERT_TRUE(test::XlsxTestPackage().sheetData(R"(<row r="1"><c r="A1"><v>1</v></c></row>)").save(zipPath));
    auto streams = test::standardEncryption(zipPath, "VelvetSweatshop");
    auto& package = streams.second;
    package[4] = 1; // a stated size of 4 GB and more
    const std::string path = m_dir.file("book.xlsx");
    test::writeEncryptedPackage(path, streams);
    std::unique_ptr<model::WorkbookReader> reader;
    EXPECT_EQ(openWorkbook(path, reader).code(), EngineErrc::DamagedFile);

    // An EncryptionInfo of an unknown version is an encryption not read: still "encrypted", not "no workbook".
    const Bytes extensible = words({4, 3, 0, 0});
    writeCompoundFile(path, {{"EncryptionInfo", extensible}, {"EncryptedPackage", package}});
    const Status unknown = openWorkbook(path, reader);
    EXPECT_EQ(unknown.code(), EngineErrc::EncryptedWorkbook);
    EXPECT_EQ(unknown.detail(), "Its encryption method is not one that can be read.");
}

TEST_F(EncryptedWorkbook, AgilePackageOpensUntilOneByteOfItChanges)
{
    const std::string zipPath = m_dir.file("plain.xlsx");
    ASSERT_TRUE(test::XlsxTestPackage().sheetData(R"(<row r="1"><c r="A1"><v>42</v></c></row>)").save(zipPath));
    auto streams = test::agileEncryption(zipPath, "secret");
    const std::string path = m_dir.file("book.xlsx");
    test::writeEncryptedPackage(path, streams);
    std::unique_ptr<model::WorkbookReader> reader;
    ScriptedPrompt right{{"secret"}, {}};
    ASSERT_TRUE(openWorkbook(path, reader, std::chrono::steady_clock::time_point::max(), right.prompt()));
    test::RecordingSink sink;
    ASSERT_TRUE(reader->readSheet(0, sink));
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), "A1 n 42"), sink.lines.end());

    // A changed byte anywhere in the stream, its stated size included, fails the check before anything is read.
    for (const std::size_t at : {std::size_t(0), streams.second.size() / 2, streams.second.size() - 1})
    {
        auto damaged = streams;
        damaged.second[at] ^= 0x01;
        test::writeEncryptedPackage(path, damaged);
        ScriptedPrompt again{{"secret"}, {}};
        const Status status = openWorkbook(path, reader, std::chrono::steady_clock::time_point::max(), again.prompt());
        EXPECT_EQ(status.code(), EngineErrc::DamagedFile);
        EXPECT_EQ(status.detail(), crypto::kIntegrityFails);
    }
}

TEST(AgileKeys, SpinningStopsAtTheDeadline)
{
    // Ten million rounds (the most the format allows) would take seconds; a passed deadline stops them.
    const DeadlineScope passed(std::chrono::steady_clock::now());
    Bytes spun;
    EXPECT_EQ(crypto::agilePasswordHash(crypto::HashAlgorithm::Sha512, crypto::utf16Password("x"), kSalt,
                                        crypto::kMaxSpinCount, spun)
                  .code(),
              EngineErrc::Timeout);
}

struct CorpusEncrypted
{
    const char* name;
    const char* password;
};

TEST(EncryptedCorpus, EveryWorkbookOpensWithItsPasswordAndReadsAsItsPlainForm)
{
    VELQUIN_REQUIRE_CORPUS();
    const CorpusEncrypted files[] = {
        {"biff5-password_2002_40_xor.xls", "password"}, {"password_2002_128_enhanced.xls", "password"},
        {"password_2002_128_enhdss.xls", "password"},   {"password_2002_128_enhrsa.xls", "password"},
        {"password_2002_128_enhrsasc.xls", "password"}, {"password_2002_128_strong.xls", "password"},
        {"password_2002_40_972000.xls", "password"},    {"password_2002_40_basecrypto.xls", "password"},
        {"password_2002_40_dhsc.xls", "password"},      {"password_2002_40_dss.xls", "password"},
        {"password_2002_40_xor.xls", "password"},       {"example_password.xlsx", "Password1234_"},
        {"rc4cryptoapi_password.xls", "Password1234_"}, {"xor_password_123456789012345.xls", "123456789012345"}};
    for (const auto& file : files)
    {
        SCOPED_TRACE(file.name);
        const std::string path = (*test::sharedDir() / "corpus" / "encrypted" / file.name).string();
        std::unique_ptr<model::WorkbookReader> reader;
        EXPECT_EQ(openWorkbook(path, reader).code(), EngineErrc::EncryptedWorkbook);
        ScriptedPrompt prompt{{file.password}, {}};
        ASSERT_TRUE(openWorkbook(path, reader, std::chrono::steady_clock::time_point::max(), prompt.prompt()));
        const auto plainPath = *test::sharedDir() / "corpus" / "encrypted" / "plain" / file.name;
        if (!std::filesystem::exists(plainPath))
        {
            ASSERT_EQ(reader->info().sheets.size(), 3u);
            EXPECT_EQ(reader->info().sheets[2].name, "Sheet3");
            // The CryptoAPI ones keep their properties in the encrypted summary, the others in the clear.
            EXPECT_EQ(reader->info().properties.author, "Foo");
            continue;
        }
        std::unique_ptr<model::WorkbookReader> plain;
        ASSERT_TRUE(openWorkbook(plainPath.string(), plain));
        ASSERT_EQ(reader->info().sheets.size(), plain->info().sheets.size());
        for (std::size_t i = 0; i < plain->info().sheets.size(); ++i)
        {
            test::RecordingSink decrypted, expected;
            ASSERT_TRUE(reader->readSheet(static_cast<int>(i), decrypted));
            ASSERT_TRUE(plain->readSheet(static_cast<int>(i), expected));
            EXPECT_EQ(decrypted.lines, expected.lines);
        }
    }
}

} // namespace
} // namespace velquin::engine
