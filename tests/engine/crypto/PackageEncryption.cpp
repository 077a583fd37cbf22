// Encrypts zip packages for tests, in the standard and the agile form.
#include "tests/engine/crypto/PackageEncryption.h"

#include "engine/crypto/EncryptedPackage.h"
#include "engine/crypto/PasswordKeys.h"
#include "tests/engine/xls/BiffBuilder.h"
#include "tests/support/CompoundFileBuilder.h"
#include "tests/support/TestSupport.h"

#include <fstream>
#include <nettle/base64.h>

namespace velquin::test {

using namespace engine::crypto;

namespace {

const Bytes kSalt = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
const Bytes kKeySalt = {21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36};
const Bytes kVerifier = {0x70, 0x61, 0x73, 0x73, 0x77, 0x6f, 0x72, 0x64,
                         0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28};
const Bytes kSecretKey = {0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6, 0x07, 0x18,
                          0x29, 0x3a, 0x4b, 0x5c, 0x6d, 0x7e, 0x8f, 0x90};
constexpr HashAlgorithm kHash = HashAlgorithm::Sha256;

Bytes sizedPackage(const std::string& zip)
{
    Bytes package;
    putU32(package, static_cast<std::uint32_t>(zip.size()));
    putU32(package, 0);
    return package;
}

std::string base64(const Bytes& bytes)
{
    std::string out(BASE64_ENCODE_RAW_LENGTH(bytes.size()), '\0');
    base64_encode_raw(reinterpret_cast<char*>(out.data()), bytes.size(), bytes.data());
    return out;
}

Bytes agileEncrypt(ByteView key, ByteView salt, ByteView blockKey, Bytes plain)
{
    plain.resize((plain.size() + 15) / 16 * 16, 0);
    Aes(key, false).encryptCbc(plain, agileIv(kHash, salt, blockKey, 16));
    return plain;
}

} // namespace

PackageStreams standardEncryption(const std::string& packagePath, const std::string& password)
{
    const std::string zip = readFile(packagePath);
    const Bytes key = standardKey(utf16Password(password), kSalt, 128);
    const Aes aes(key, false);
    Bytes info = words({3, 2});
    putU32(info, 0x24);
    Bytes header;
    for (std::uint32_t v : {0x24u, 0u, 0x660Eu, 0x8004u, 128u, 0x18u, 0u, 0u})
        putU32(header, v);
    header.insert(header.end(), {'x', 0, 0, 0});
    putU32(info, static_cast<std::uint32_t>(header.size()));
    info.insert(info.end(), header.begin(), header.end());
    putU32(info, 16);
    info.insert(info.end(), kSalt.begin(), kSalt.end());
    Bytes verifier = kVerifier;
    Bytes verifierHash = hash(HashAlgorithm::Sha1, {kVerifier});
    verifierHash.resize(32, 0);
    aes.encryptEcb(verifier);
    aes.encryptEcb(verifierHash);
    info.insert(info.end(), verifier.begin(), verifier.end());
    putU32(info, 20);
    info.insert(info.end(), verifierHash.begin(), verifierHash.end());

    Bytes package = sizedPackage(zip);
    Bytes data(zip.begin(), zip.end());
    data.resize((data.size() + 15) / 16 * 16, 0);
    aes.encryptEcb(data);
    package.insert(package.end(), data.begin(), data.end());
    return {info, package};
}

PackageStreams agileEncryption(const std::string& packagePath, const std::string& password)
{
    const std::string zip = readFile(packagePath);
    Bytes package = sizedPackage(zip);
    for (std::size_t start = 0; start < zip.size(); start += kPackageSegment)
    {
        const Bytes plain(zip.begin() + static_cast<std::ptrdiff_t>(start),
                          zip.begin() + static_cast<std::ptrdiff_t>(std::min(zip.size(), start + kPackageSegment)));
        const auto index = littleEndian32(static_cast<std::uint32_t>(start / kPackageSegment));
        const Bytes segment = agileEncrypt(kSecretKey, kKeySalt, index, plain);
        package.insert(package.end(), segment.begin(), segment.end());
    }
    const Bytes hmacKey = hash(kHash, {kVerifier});
    Hmac hmac(kHash, hmacKey);
    hmac.update(package);
    const Bytes hmacKeyBlock = {0x5f, 0xb2, 0xad, 0x01, 0x0c, 0xb9, 0xe1, 0xf6};
    const Bytes hmacValueBlock = {0xa0, 0x67, 0x7f, 0x02, 0xb2, 0x2c, 0x84, 0x33};

    constexpr std::uint32_t kSpins = 10;
    Bytes spun;
    agilePasswordHash(kHash, utf16Password(password), kSalt, kSpins, spun);
    const auto passwordEncrypt = [&](std::initializer_list<std::uint8_t> block, const Bytes& plain) {
        return base64(agileEncrypt(agileKey(kHash, spun, Bytes(block), 16), kSalt, {}, plain));
    };
    const std::string common = R"( blockSize="16" keyBits="128" hashSize="32" cipherAlgorithm="AES")"
                               R"( cipherChaining="ChainingModeCBC" hashAlgorithm="SHA256" saltSize="16")";
    const std::string xml =
        R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
        R"(<encryption xmlns="http://schemas.microsoft.com/office/2006/encryption")"
        R"( xmlns:p="http://schemas.microsoft.com/office/2006/keyEncryptor/password">)"
        "<keyData" +
        common + R"( saltValue=")" + base64(kKeySalt) + R"("/>)" + R"(<dataIntegrity encryptedHmacKey=")" +
        base64(agileEncrypt(kSecretKey, kKeySalt, hmacKeyBlock, hmacKey)) + R"(" encryptedHmacValue=")" +
        base64(agileEncrypt(kSecretKey, kKeySalt, hmacValueBlock, hmac.digest())) +
        R"("/><keyEncryptors><keyEncryptor uri="http://schemas.microsoft.com/office/2006/keyEncryptor/password">)"
        "<p:encryptedKey spinCount=\"10\"" +
        common + R"( saltValue=")" + base64(kSalt) + R"(" encryptedVerifierHashInput=")" +
        passwordEncrypt({0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79}, kVerifier) +
        R"(" encryptedVerifierHashValue=")" +
        passwordEncrypt({0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e}, hash(kHash, {kVerifier})) +
        R"(" encryptedKeyValue=")" + passwordEncrypt({0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6}, kSecretKey) +
        R"("/></keyEncryptor></keyEncryptors></encryption>)";
    Bytes info = words({4, 4});
    putU32(info, 0x40);
    info.insert(info.end(), xml.begin(), xml.end());
    return {info, package};
}

void writeEncryptedPackage(const std::string& path, const PackageStreams& streams)
{
    const auto text = [](const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); };
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << makeCompoundFile({{"EncryptionInfo", text(streams.first)}, {"EncryptedPackage", text(streams.second)}});
}

} // namespace velquin::test
