// The document properties that a workbook encrypted with RC4 over CryptoAPI may keep, encrypted, in its
// "encryption" stream, leaving only an empty placeholder of the property sets in the clear.
#pragma once

#include "engine/crypto/Primitives.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velquin::engine::xls {

/// The RC4 key of a block number, as the workbook's password and salt give it.
using CryptoApiKeys = std::function<crypto::Bytes(std::uint32_t block)>;

/// The name of the stream that holds the encrypted property sets.
inline constexpr const char* kEncryptedSummaryStream = "encryption";

/// The two property-set streams found in the encrypted summary, decrypted; empty when absent.
struct EncryptedSummary
{
    std::vector<std::uint8_t> summaryInformation;
    std::vector<std::uint8_t> documentSummaryInformation;
};

/// Decrypts the property sets of the "encryption" stream `stream`. A stream whose table of contents does not
/// agree with its size gives nothing at all: properties are never worth failing a conversion for.
EncryptedSummary readEncryptedSummary(std::span<const std::uint8_t> stream, const CryptoApiKeys& keys);

} // namespace velquin::engine::xls
