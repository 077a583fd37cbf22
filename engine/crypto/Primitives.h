// Hashes, AES and RC4 from nettle, behind the few calls the password rules need.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <nettle/arcfour.h>
#include <span>
#include <vector>

namespace velquin::engine::crypto {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

enum class HashAlgorithm
{
    Md5,
    Sha1,
    Sha256,
    Sha384,
    Sha512
};

/// Digest length in bytes.
std::size_t hashSize(HashAlgorithm algorithm);

/// The digest of the concatenation of `parts`.
Bytes hash(HashAlgorithm algorithm, std::initializer_list<ByteView> parts);

/// An HMAC of a message given piece by piece.
class Hmac
{
public:
    Hmac(HashAlgorithm algorithm, ByteView key);
    void update(ByteView data);
    /// The code of everything given so far.
    Bytes digest();

private:
    HashAlgorithm m_algorithm;
    alignas(16) std::array<std::uint8_t, 3 * 256> m_context{}; ///< outer, inner and running hash states
};

/// Four bytes of `value`, least significant first, as the key rules append block numbers and counters.
std::array<std::uint8_t, 4> littleEndian32(std::uint32_t value);

/// AES with a 16, 24 or 32-byte key; any other key length makes valid() false.
class Aes
{
public:
    explicit Aes(ByteView key, bool decrypt = true);
    bool valid() const { return m_keyLength != 0; }
    /// Decrypts whole 16-byte blocks in place, each on its own (ECB). `data.size()` must be a multiple of 16.
    void decryptEcb(std::span<std::uint8_t> data) const;
    /// Decrypts whole blocks in place in CBC mode starting from `iv` (16 bytes).
    void decryptCbc(std::span<std::uint8_t> data, ByteView iv) const;
    /// The encrypting direction (for a key made with decrypt = false), ECB and CBC.
    void encryptEcb(std::span<std::uint8_t> data) const;
    void encryptCbc(std::span<std::uint8_t> data, ByteView iv) const;

private:
    alignas(16) std::array<std::uint8_t, 512> m_context{};
    std::size_t m_keyLength = 0;
    bool m_decrypt = true;
};

/// The RC4 key stream.
class Rc4
{
public:
    void setKey(ByteView key);
    /// XORs the next `data.size()` bytes of the key stream into `data`.
    void apply(std::span<std::uint8_t> data);
    /// Moves `count` bytes along the key stream.
    void skip(std::size_t count);

private:
    arcfour_ctx m_context{};
};

} // namespace velquin::engine::crypto
