// nettle behind the primitives the password rules use.
#include "engine/crypto/Primitives.h"

#include <algorithm>
#include <cstring>
#include <nettle/aes.h>
#include <nettle/cbc.h>
#include <nettle/hmac.h>
#include <nettle/nettle-meta.h>
#include <nettle/sha2.h>

namespace velquin::engine::crypto {

namespace {

const nettle_hash& descriptor(HashAlgorithm algorithm)
{
    switch (algorithm)
    {
    case HashAlgorithm::Md5:
        return nettle_md5;
    case HashAlgorithm::Sha1:
        return nettle_sha1;
    case HashAlgorithm::Sha256:
        return nettle_sha256;
    case HashAlgorithm::Sha384:
        return nettle_sha384;
    case HashAlgorithm::Sha512:
        break;
    }
    return nettle_sha512;
}

const nettle_cipher* aesCipher(std::size_t keyLength)
{
    switch (keyLength)
    {
    case 16:
        return &nettle_aes128;
    case 24:
        return &nettle_aes192;
    case 32:
        return &nettle_aes256;
    default:
        return nullptr;
    }
}

} // namespace

std::size_t hashSize(HashAlgorithm algorithm)
{
    return descriptor(algorithm).digest_size;
}

Bytes hash(HashAlgorithm algorithm, std::initializer_list<ByteView> parts)
{
    const nettle_hash& h = descriptor(algorithm);
    alignas(16) std::array<std::uint8_t, 512> context{};
    static_assert(sizeof(sha512_ctx) <= 512);
    h.init(context.data());
    for (ByteView part : parts)
        h.update(context.data(), part.size(), part.data());
    Bytes out(h.digest_size);
    h.digest(context.data(), out.size(), out.data());
    return out;
}

Hmac::Hmac(HashAlgorithm algorithm, ByteView key) : m_algorithm(algorithm)
{
    static_assert(sizeof(sha512_ctx) <= 256);
    std::uint8_t* context = m_context.data();
    hmac_set_key(context, context + 256, context + 512, &descriptor(algorithm), key.size(), key.data());
}

void Hmac::update(ByteView data)
{
    hmac_update(m_context.data() + 512, &descriptor(m_algorithm), data.size(), data.data());
}

Bytes Hmac::digest()
{
    const nettle_hash& h = descriptor(m_algorithm);
    Bytes out(h.digest_size);
    std::uint8_t* context = m_context.data();
    hmac_digest(context, context + 256, context + 512, &h, out.size(), out.data());
    return out;
}

std::array<std::uint8_t, 4> littleEndian32(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

Aes::Aes(ByteView key, bool decrypt) : m_decrypt(decrypt)
{
    const nettle_cipher* cipher = aesCipher(key.size());
    if (!cipher || cipher->context_size > m_context.size())
        return;
    if (decrypt)
        cipher->set_decrypt_key(m_context.data(), key.data());
    else
        cipher->set_encrypt_key(m_context.data(), key.data());
    m_keyLength = key.size();
}

void Aes::decryptEcb(std::span<std::uint8_t> data) const
{
    if (const nettle_cipher* cipher = aesCipher(m_keyLength); cipher && m_decrypt)
        cipher->decrypt(m_context.data(), data.size() - data.size() % 16, data.data(), data.data());
}

void Aes::decryptCbc(std::span<std::uint8_t> data, ByteView iv) const
{
    const nettle_cipher* cipher = aesCipher(m_keyLength);
    if (!cipher || !m_decrypt || iv.size() < 16)
        return;
    std::array<std::uint8_t, 16> chain{};
    std::memcpy(chain.data(), iv.data(), 16);
    cbc_decrypt(m_context.data(), cipher->decrypt, 16, chain.data(), data.size() - data.size() % 16, data.data(),
                data.data());
}

void Aes::encryptEcb(std::span<std::uint8_t> data) const
{
    if (const nettle_cipher* cipher = aesCipher(m_keyLength); cipher && !m_decrypt)
        cipher->encrypt(m_context.data(), data.size() - data.size() % 16, data.data(), data.data());
}

void Aes::encryptCbc(std::span<std::uint8_t> data, ByteView iv) const
{
    const nettle_cipher* cipher = aesCipher(m_keyLength);
    if (!cipher || m_decrypt || iv.size() < 16)
        return;
    std::array<std::uint8_t, 16> chain{};
    std::memcpy(chain.data(), iv.data(), 16);
    cbc_encrypt(m_context.data(), cipher->encrypt, 16, chain.data(), data.size() - data.size() % 16, data.data(),
                data.data());
}

void Rc4::setKey(ByteView key)
{
    static constexpr std::uint8_t kZero = 0;
    if (key.empty())
        arcfour_set_key(&m_context, 1, &kZero);
    else
        arcfour_set_key(&m_context, std::min<std::size_t>(key.size(), ARCFOUR_MAX_KEY_SIZE), key.data());
}

void Rc4::apply(std::span<std::uint8_t> data)
{
    arcfour_crypt(&m_context, data.size(), data.data(), data.data());
}

void Rc4::skip(std::size_t count)
{
    std::array<std::uint8_t, 256> scratch{};
    while (count > 0)
    {
        const std::size_t n = std::min(count, scratch.size());
        apply(std::span<std::uint8_t>(scratch.data(), n));
        count -= n;
    }
}

} // namespace velquin::engine::crypto
