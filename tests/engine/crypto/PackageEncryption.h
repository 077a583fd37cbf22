// Encrypts zip packages for tests, in the standard and the agile form, as EncryptionInfo and EncryptedPackage.
#pragma once

#include "engine/crypto/Primitives.h"

#include <string>
#include <utility>

namespace velquin::test {

using PackageStreams = std::pair<engine::crypto::Bytes, engine::crypto::Bytes>; ///< EncryptionInfo, EncryptedPackage

/// The package at `packagePath` encrypted in the standard form (AES-128, ECB) with `password`.
PackageStreams standardEncryption(const std::string& packagePath, const std::string& password);

/// The package at `packagePath` encrypted in the agile form (AES-128, CBC, SHA-256, few hash rounds) with
/// `password`, with the integrity code over the encrypted stream that Excel writes.
PackageStreams agileEncryption(const std::string& packagePath, const std::string& password);

/// Writes a compound file holding the two streams.
void writeEncryptedPackage(const std::string& path, const PackageStreams& streams);

} // namespace velquin::test
