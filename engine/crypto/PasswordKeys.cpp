// Password-to-key rules of the Office encryption methods.
#include "engine/crypto/PasswordKeys.h"

#include "engine/Deadline.h"
#include "engine/Text.h"

#include <algorithm>

namespace velquin::engine::crypto {

namespace {

constexpr std::array<std::uint8_t, 15> kPad = {0xBB, 0xFF, 0xFF, 0xBA, 0xFF, 0xFF, 0xB9, 0x80,
                                               0x00, 0xBE, 0x0F, 0x00, 0xBF, 0x0F, 0x00};
constexpr std::array<std::uint16_t, 15> kInitialCode = {0xE1F0, 0x1D0F, 0xCC9C, 0x84C0, 0x110C, 0x0E10, 0xF1CE, 0x313E,
                                                        0x1872, 0xE139, 0xD40F, 0x84F9, 0x280C, 0xA96A, 0x4EC3};
constexpr std::array<std::uint16_t, 105> kXorMatrix = {
    0xAEFC, 0x4DD9, 0x9BB2, 0x2745, 0x4E8A, 0x9D14, 0x2A09, 0x7B61, 0xF6C2, 0xFDA5, 0xEB6B, 0xC6F7, 0x9DCF, 0x2BBF,
    0x4563, 0x8AC6, 0x05AD, 0x0B5A, 0x16B4, 0x2D68, 0x5AD0, 0x0375, 0x06EA, 0x0DD4, 0x1BA8, 0x3750, 0x6EA0, 0xDD40,
    0xD849, 0xA0B3, 0x5147, 0xA28E, 0x553D, 0xAA7A, 0x44D5, 0x6F45, 0xDE8A, 0xAD35, 0x4A4B, 0x9496, 0x390D, 0x721A,
    0xEB23, 0xC667, 0x9CEF, 0x29FF, 0x53FE, 0xA7FC, 0x5FD9, 0x47D3, 0x8FA6, 0x0F6D, 0x1EDA, 0x3DB4, 0x7B68, 0xF6D0,
    0xB861, 0x60E3, 0xC1C6, 0x93AD, 0x377B, 0x6EF6, 0xDDEC, 0x45A0, 0x8B40, 0x06A1, 0x0D42, 0x1A84, 0x3508, 0x6A10,
    0xAA51, 0x4483, 0x8906, 0x022D, 0x045A, 0x08B4, 0x1168, 0x76B4, 0xED68, 0xCAF1, 0x85C3, 0x1BA7, 0x374E, 0x6E9C,
    0x3730, 0x6E60, 0xDCC0, 0xA9A1, 0x4363, 0x86C6, 0x1DAD, 0x3331, 0x6662, 0xCCC4, 0x89A9, 0x0373, 0x06E6, 0x0DCC,
    0x1021, 0x2042, 0x4084, 0x8108, 0x1231, 0x2462, 0x48C4};

/// Check the deadline this often while spinning a hash: a few milliseconds of work even on a loaded machine.
constexpr std::uint32_t kSpinsPerDeadlineCheck = 1u << 10;

std::vector<char16_t> utf16Units(std::string_view utf8, std::size_t maxUnits)
{
    std::vector<char16_t> units;
    while (!utf8.empty() && units.size() < maxUnits)
    {
        char32_t code = 0;
        std::size_t length = decodeUtf8(utf8, code);
        if (length == 0)
        {
            code = 0xFFFD;
            length = 1;
        }
        utf8.remove_prefix(length);
        if (code >= 0x10000)
        {
            if (units.size() + 2 > maxUnits)
                break;
            code -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        }
        else
            units.push_back(static_cast<char16_t>(code));
    }
    return units;
}

std::uint8_t xorRor(std::uint8_t a, std::uint8_t b)
{
    const auto v = static_cast<std::uint8_t>(a ^ b);
    return static_cast<std::uint8_t>((v >> 1) | (v << 7));
}

Bytes sized(Bytes bytes, std::size_t size, std::uint8_t pad)
{
    bytes.resize(size, pad);
    return bytes;
}

} // namespace

Bytes utf16Password(std::string_view utf8)
{
    Bytes out;
    for (char16_t unit : utf16Units(utf8, kMaxPasswordUnits))
    {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

Bytes xorPasswordBytes(std::string_view utf8)
{
    Bytes out;
    for (char16_t unit : utf16Units(utf8, 15))
    {
        const auto low = static_cast<std::uint8_t>(unit & 0xFF);
        out.push_back(low != 0 ? low : static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

std::uint16_t xorKey(ByteView password)
{
    if (password.empty() || password.size() > 15)
        return 0;
    std::uint16_t key = kInitialCode[password.size() - 1];
    std::size_t element = kXorMatrix.size() - 1;
    for (std::size_t i = password.size(); i-- > 0;)
    {
        std::uint8_t c = password[i];
        for (int bit = 0; bit < 7; ++bit, --element)
        {
            if (c & 0x40)
                key ^= kXorMatrix[element];
            c = static_cast<std::uint8_t>(c << 1);
        }
    }
    return key;
}

std::uint16_t xorVerifier(ByteView password)
{
    std::uint16_t verifier = 0;
    Bytes array;
    array.push_back(static_cast<std::uint8_t>(password.size()));
    array.insert(array.end(), password.begin(), password.end());
    for (std::size_t i = array.size(); i-- > 0;)
    {
        const std::uint16_t high = (verifier & 0x4000) ? 1 : 0;
        const auto shifted = static_cast<std::uint16_t>((verifier << 1) & 0x7FFF);
        verifier = static_cast<std::uint16_t>((high | shifted) ^ array[i]);
    }
    return static_cast<std::uint16_t>(verifier ^ 0xCE4B);
}

std::array<std::uint8_t, 16> xorArray(ByteView password)
{
    std::array<std::uint8_t, 16> array{};
    if (password.empty() || password.size() > 15)
        return array;
    const std::uint16_t key = xorKey(password);
    const auto high = static_cast<std::uint8_t>(key >> 8);
    const auto low = static_cast<std::uint8_t>(key & 0xFF);
    // Odd positions take the key's high byte, even ones its low byte; the password fills the start and the pad
    // bytes the rest.
    for (std::size_t i = 0; i < array.size(); ++i)
    {
        const std::uint8_t source = i < password.size() ? password[i] : kPad[i - password.size()];
        array[i] = xorRor(source, (i & 1) ? high : low);
    }
    return array;
}

Bytes rc4PasswordHash(ByteView utf16, ByteView salt)
{
    Bytes h0 = hash(HashAlgorithm::Md5, {utf16});
    h0.resize(5);
    Bytes buffer;
    buffer.reserve(16 * (5 + salt.size()));
    for (int i = 0; i < 16; ++i)
    {
        buffer.insert(buffer.end(), h0.begin(), h0.end());
        buffer.insert(buffer.end(), salt.begin(), salt.end());
    }
    Bytes h1 = hash(HashAlgorithm::Md5, {buffer});
    h1.resize(5);
    return h1;
}

Bytes rc4BlockKey(ByteView passwordHash, std::uint32_t block)
{
    const auto number = littleEndian32(block);
    return hash(HashAlgorithm::Md5, {passwordHash, number});
}

Bytes cryptoApiPasswordHash(ByteView utf16, ByteView salt)
{
    return hash(HashAlgorithm::Sha1, {salt, utf16});
}

Bytes cryptoApiBlockKey(ByteView passwordHash, std::uint32_t block, std::uint32_t keyBits)
{
    const auto number = littleEndian32(block);
    Bytes key = hash(HashAlgorithm::Sha1, {passwordHash, number});
    const std::size_t keyBytes = std::clamp<std::uint32_t>(keyBits, 40, 128) / 8;
    key.resize(keyBytes);
    if (keyBytes == 5)
        key.resize(16, 0);
    return key;
}

Bytes standardKey(ByteView utf16, ByteView salt, std::uint32_t keyBits)
{
    Bytes h = hash(HashAlgorithm::Sha1, {salt, utf16});
    for (std::uint32_t i = 0; i < 50000; ++i)
    {
        const auto counter = littleEndian32(i);
        h = hash(HashAlgorithm::Sha1, {counter, h});
    }
    const auto block = littleEndian32(0);
    const Bytes final = hash(HashAlgorithm::Sha1, {h, block});
    Bytes inner(64, 0x36), outer(64, 0x5C);
    for (std::size_t i = 0; i < final.size(); ++i)
    {
        inner[i] ^= final[i];
        outer[i] ^= final[i];
    }
    Bytes key = hash(HashAlgorithm::Sha1, {inner});
    const Bytes second = hash(HashAlgorithm::Sha1, {outer});
    key.insert(key.end(), second.begin(), second.end());
    key.resize(std::min<std::size_t>(keyBits / 8, key.size()));
    return key;
}

Status agilePasswordHash(HashAlgorithm algorithm, ByteView utf16, ByteView salt, std::uint32_t spinCount, Bytes& out)
{
    out = hash(algorithm, {salt, utf16});
    for (std::uint32_t i = 0; i < spinCount; ++i)
    {
        if (i % kSpinsPerDeadlineCheck == kSpinsPerDeadlineCheck - 1)
            if (Status status = checkDeadline(); !status)
                return status;
        const auto counter = littleEndian32(i);
        out = hash(algorithm, {counter, out});
    }
    return {};
}

Bytes agileKey(HashAlgorithm algorithm, ByteView passwordHash, ByteView blockKey, std::size_t keyBytes)
{
    return sized(hash(algorithm, {passwordHash, blockKey}), keyBytes, 0x36);
}

Bytes agileIv(HashAlgorithm algorithm, ByteView salt, ByteView blockKey, std::size_t blockSize)
{
    if (blockKey.empty())
        return sized(Bytes(salt.begin(), salt.end()), blockSize, 0x36);
    return sized(hash(algorithm, {salt, blockKey}), blockSize, 0x36);
}

} // namespace velquin::engine::crypto
