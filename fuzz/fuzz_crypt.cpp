// Fuzz target: encrypted workbooks. The first byte chooses the form:
//   'X' and a workbook stream: an encrypted .xls (FILEPASS and the records after it), wrapped in a well-formed
//       compound file and opened with a password, every sheet streamed into the checking sink;
//   anything else, then a 2-byte length, EncryptionInfo and the EncryptedPackage stream: an encrypted package,
//       whose password search, decryption and package reading run as they do for a file.
// The password tried after the built-in default is "password" for .xls and "Password1234_" for packages, those of
// the seed workbooks, so mutations reach the decrypted records and the decrypted package.
#include "engine/Deadline.h"
#include "engine/crypto/EncryptedPackage.h"
#include "engine/xls/OleContainer.h"
#include "engine/xls/XlsReader.h"
#include "engine/xlsx/XlsxWorkbook.h"
#include "fuzz/FuzzSupport.h"

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
    std::unique_ptr<crypto::DecryptedPackage> package;
    if (!crypto::DecryptedPackage::create(std::move(encrypted), std::move(cipher), package))
        return;
    zip_source* source = crypto::makeZipSource(std::move(package), nullptr);
    if (!source)
        return;
    xlsx::XlsxWorkbook workbook;
    if (workbook.open(source))
        velquin::fuzz::readAllSheets(workbook);
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
    else
        encryptedPackage(data + 1, size - 1);
    return 0;
}
