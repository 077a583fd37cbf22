// Encrypted .xlsx/.xlsm/.xlsb packages: a compound file whose EncryptionInfo stream describes the encryption
// (the standard or the agile form) and whose EncryptedPackage stream holds the zip package, AES-encrypted.
#pragma once

#include "engine/Error.h"
#include "engine/crypto/PasswordTrial.h"
#include "engine/crypto/Primitives.h"
#include "engine/model/WorkbookReader.h"
#include "engine/xls/ByteSource.h"

#include <memory>
#include <string>
#include <string_view>

struct zip_source;

namespace velquin::engine::xls {
class OleContainer;
}

namespace velquin::engine::crypto {

/// The package's bytes are decrypted in segments of this size, one segment held at a time.
inline constexpr std::size_t kPackageSegment = 4096;
/// EncryptionInfo describes keys in at most a few kilobytes; anything larger is not believed.
inline constexpr std::size_t kMaxEncryptionInfo = 1u << 20;
/// The most hash rounds the agile form may ask for (the format's own limit).
inline constexpr std::uint32_t kMaxSpinCount = 10000000;

/// Whether the compound file holds an encrypted package rather than a binary workbook.
bool isEncryptedPackage(const xls::OleContainer& container);

/// Finds the password of the encrypted package in `container` (the default password first, then those of
/// `prompt`), checks the package's integrity code when it has one, and opens the package inside with the .xlsx or
/// the .xlsb reader, decrypting it only as the reader asks for its bytes.
/// Errors: EncryptedWorkbook (no password fits, or an encryption method not read), DamagedFile (also when the
/// integrity check fails), Timeout, and the package readers' errors.
Status openEncryptedPackage(std::unique_ptr<xls::OleContainer> container,
                            std::unique_ptr<model::WorkbookReader>& reader, const PasswordPrompt& prompt);

/// The detail of DamagedFile when the package's integrity check fails.
inline constexpr std::string_view kIntegrityFails =
    "Its integrity check fails: it was changed or damaged after it was encrypted.";

/// Decrypts one segment of the package in place: `index` counts segments of kPackageSegment bytes.
class PackageCipher
{
public:
    virtual ~PackageCipher() = default;
    virtual void decryptSegment(std::uint32_t index, std::span<std::uint8_t> segment) const = 0;
    /// Checks the whole EncryptedPackage stream against the integrity code the encryption keeps, if it keeps one,
    /// reading it once in pieces. Errors: DamagedFile (kIntegrityFails, or unreadable), Timeout.
    virtual Status checkIntegrity(xls::ByteSource&) const { return {}; }
};

/// Reads EncryptionInfo and checks passwords (the default first, then `prompt`'s) until one fits; `cipher` then
/// decrypts the package. Errors: EncryptedWorkbook, DamagedFile, Timeout.
Status findPackageKey(ByteView encryptionInfo, const PasswordPrompt& prompt, std::unique_ptr<PackageCipher>& cipher);

/// The plain bytes of an EncryptedPackage stream (its first 8 bytes give the package's size), decrypted segment by
/// segment as they are read.
class DecryptedPackage : public xls::ByteSource
{
public:
    /// Errors: DamagedFile when the stated size is larger than the encrypted data.
    static Status create(std::unique_ptr<xls::ByteSource> encrypted, std::unique_ptr<PackageCipher> cipher,
                         std::unique_ptr<DecryptedPackage>& out);

    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    DecryptedPackage() = default;
    bool loadSegment(std::uint64_t index);

    std::unique_ptr<xls::ByteSource> m_encrypted;
    std::unique_ptr<PackageCipher> m_cipher;
    std::uint64_t m_size = 0;
    std::vector<std::uint8_t> m_segment;
    std::uint64_t m_segmentIndex = ~std::uint64_t(0);
};

/// Opens a decrypted package with the .xlsb reader when its workbook part is binary, else with the .xlsx reader;
/// takes `source` over. Errors: the package readers' errors.
Status openDecryptedPackage(zip_source* source, std::unique_ptr<model::WorkbookReader>& reader);

/// A libzip source over `package` that owns it and `owner` (the compound file the package's stream comes from);
/// nullptr on failure.
zip_source* makeZipSource(std::unique_ptr<xls::ByteSource> package, std::unique_ptr<xls::OleContainer> owner);

} // namespace velquin::engine::crypto
