// Fuzz target: encrypted workbooks. The first byte chooses the form:
//   'X' and a workbook stream: an encrypted .xls (FILEPASS and the records after it), wrapped in a well-formed
//       compound file and opened with a password, every sheet streamed into the checking sink;
//   'S', a 16-byte salt, the key's length in bytes and an "encryption" stream: the document properties that RC4 over
//       CryptoAPI keeps encrypted, under the keys of "password" and that salt;
//   anything else, then a 2-byte length, EncryptionInfo and the EncryptedPackage stream: an encrypted package,
//       whose password search, integrity check, decryption and package reading (.xlsx or .xlsb) run as they do
//       for a file; a failed integrity check does not stop the rest, so that mutations reach the reader.
// The password tried after the built-in default is "password" for .xls and "Password1234_" for packages, those of
// the seed workbooks, so mutations reach the decrypted records and the decrypted package.
#include "engine/Deadline.h"
#include "engine/crypto/EncryptedPackage.h"
#include "engine/crypto/PasswordKeys.h"
#include "engine/xls/EncryptedSummary.h"
#include "engine/xls/OleContainer.h"
#include "engine/xls/PropertySetReader.h"
#include "engine/xls/XlsReader.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace {

using namespace velquin::engine;

PasswordPrompt oncePrompt(const char* password)
{
    return [password](bool lastFailed) -> std::optional<std::string> {
        if (lastFailed)
            return std::nullopt;
        return std::string(password);
    };
}

void encryptedXls(const std::uint8_t* data, std::size_t size)
{
    static const velquin::fuzz::ScratchFile file(".xls");
    std::string_view stream(reinterpret_cast<const char*>(data), size);
    bool biff8 = size >= 6 && data[4] == 0x00 && data[5] == 0x06;
    if (!file.write(velquin::fuzz::makeCompoundFile(biff8 ? "Workbook" : "Book", stream)))
        return;
    std::unique_ptr<model::WorkbookReader> reader;
    if (xls::openXls(file.path(), reader, oncePrompt("password")) && reader)
        velquin::fuzz::readAllSheets(*reader);
}

void encryptedPackage(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return;
    const std::size_t infoSize = std::min<std::size_t>(data[0] | (data[1] << 8), size - 2);
    const crypto::ByteView info(data + 2, infoSize);
    std::unique_ptr<crypto::PackageCipher> cipher;
    if (!crypto::findPackageKey(info, oncePrompt("Password1234_"), cipher))
        return;
    auto encrypted = std::make_unique<xls::MemorySource>(std::vector<std::uint8_t>(data + 2 + infoSize, data + size));
    (void)cipher->checkIntegrity(*encrypted);
    std::unique_ptr<crypto::DecryptedPackage> package;
    if (!crypto::DecryptedPackage::create(std::move(encrypted), std::move(cipher), package))
        return;
    zip_source* source = crypto::makeZipSource(std::move(package), nullptr);
    if (!source)
        return;
    std::unique_ptr<model::WorkbookReader> reader;
    if (crypto::openDecryptedPackage(source, reader) && reader)
        velquin::fuzz::readAllSheets(*reader);
}

void encryptedSummary(const std::uint8_t* data, std::size_t size)
{
    if (size < 17)
        return;
    const crypto::Bytes salt(data, data + 16);
    const std::uint32_t keyBits = std::clamp<std::uint32_t>(data[16], 5, 16) * 8;
    const crypto::Bytes base = crypto::cryptoApiPasswordHash(crypto::utf16Password("password"), salt);
    const xls::CryptoApiKeys keys = [&](std::uint32_t block) {
        return crypto::cryptoApiBlockKey(base, block, keyBits);
    };
    const xls::EncryptedSummary summary = xls::readEncryptedSummary({data + 17, size - 17}, keys);
    model::DocumentProperties properties;
    xls::readSummaryInformation(summary.summaryInformation, properties);
    xls::readDocumentSummaryInformation(summary.documentSummaryInformation, properties);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    // Agile encryption may ask for up to ten million hash rounds; the time limit keeps each input short.
    DeadlineScope deadline(std::chrono::steady_clock::now() + std::chrono::seconds(2));
    if (data[0] == 'X')
        encryptedXls(data + 1, size - 1);
    else if (data[0] == 'S')
        encryptedSummary(data + 1, size - 1);
    else
        encryptedPackage(data + 1, size - 1);
    return 0;
}
