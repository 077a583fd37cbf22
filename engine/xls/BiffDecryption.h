// Encrypted .xls workbooks: the FILEPASS record's three methods (XOR obfuscation, RC4, RC4 over CryptoAPI), the
// password check each one makes, and the decryption of the records that follow FILEPASS.
#pragma once

#include "engine/Error.h"
#include "engine/crypto/PasswordTrial.h"
#include "engine/xls/EncryptedSummary.h"
#include "engine/xls/RecordStream.h"

#include <memory>
#include <span>

namespace velquin::engine::xls {

/// Reads the FILEPASS payload of a BIFF5 (`biff8` false) or BIFF8 workbook, finds its password (the default
/// password first, then those of `prompt`) and gives the decryptor for the records after FILEPASS. With RC4 over
/// CryptoAPI, `cryptoApiKeys` (when given) receives the block keys, which also open the encrypted summary.
/// Errors: EncryptedWorkbook (no password fits, or an encryption method not read), DamagedFile
/// (a FILEPASS too short for its method), Timeout.
Status openFilePass(std::span<const std::uint8_t> filePass, bool biff8, const PasswordPrompt& prompt,
                    std::unique_ptr<RecordDecryptor>& decryptor, CryptoApiKeys* cryptoApiKeys = nullptr);

/// The encrypting direction of the same methods, for a workbook stream whose FILEPASS record is already in
/// place: encrypts the payloads of the records after `from` in `stream` (BIFF8 RC4 or XOR, per `filePass`).
/// Returns false when the stream's records do not parse. Used to make encrypted workbooks in tests.
bool encryptBiffStream(std::span<std::uint8_t> stream, std::uint64_t from, std::span<const std::uint8_t> filePass,
                       bool biff8, const std::string& password);

} // namespace velquin::engine::xls
