// The rules that turn a password into keys and verifiers for the Office encryption methods: XOR obfuscation and
// RC4 for .xls, RC4 over CryptoAPI for .xls, and AES for encrypted packages (the standard and the agile form).
#pragma once

#include "engine/Error.h"
#include "engine/crypto/Primitives.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velquin::engine::crypto {

/// Excel's built-in password: a workbook encrypted with it opens without asking (it is only write-protected).
inline constexpr std::string_view kDefaultPassword = "VelvetSweatshop";

/// The longest password, in UTF-16 code units, that any of the methods takes.
inline constexpr std::size_t kMaxPasswordUnits = 255;

/// The password as UTF-16LE bytes, cut after kMaxPasswordUnits code units; ill-formed UTF-8 becomes U+FFFD.
Bytes utf16Password(std::string_view utf8);

/// XOR obfuscation works on one byte per character (the low byte, or the high byte when the low one is zero) of
/// at most 15 characters.
Bytes xorPasswordBytes(std::string_view utf8);
std::uint16_t xorKey(ByteView passwordBytes);
std::uint16_t xorVerifier(ByteView passwordBytes);
std::array<std::uint8_t, 16> xorArray(ByteView passwordBytes);

/// RC4 encryption: the 5-byte truncated hash of the password and salt that every block key starts from.
Bytes rc4PasswordHash(ByteView utf16, ByteView salt);
/// The 16-byte RC4 key of block `block`.
Bytes rc4BlockKey(ByteView passwordHash, std::uint32_t block);

/// RC4 over CryptoAPI: SHA-1 of salt and password.
Bytes cryptoApiPasswordHash(ByteView utf16, ByteView salt);
/// The key of block `block`: `keyBits` (40 to 128) bits of the hash; a 40-bit key is padded to 16 bytes with zeros.
Bytes cryptoApiBlockKey(ByteView passwordHash, std::uint32_t block, std::uint32_t keyBits);

/// The AES key of an encrypted package in the standard form: SHA-1 spun 50000 times, then widened to `keyBits`.
Bytes standardKey(ByteView utf16, ByteView salt, std::uint32_t keyBits);

/// The agile form: the password hash spun `spinCount` times. Errors: Timeout while the deadline passes.
Status agilePasswordHash(HashAlgorithm algorithm, ByteView utf16, ByteView salt, std::uint32_t spinCount, Bytes& out);
/// A key from the spun hash and an 8-byte block key: `keyBytes` of the hash, padded with 0x36 when short.
Bytes agileKey(HashAlgorithm algorithm, ByteView passwordHash, ByteView blockKey, std::size_t keyBytes);
/// An initialisation vector: the hash of salt and block key (or the salt alone when `blockKey` is empty), cut or
/// padded with 0x36 to `blockSize`.
Bytes agileIv(HashAlgorithm algorithm, ByteView salt, ByteView blockKey, std::size_t blockSize);

} // namespace velquin::engine::crypto
