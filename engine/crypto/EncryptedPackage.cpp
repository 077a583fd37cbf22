// EncryptionInfo in its standard and agile forms, and the encrypted package decrypted on demand for libzip.
#include "engine/crypto/EncryptedPackage.h"

#include "engine/Deadline.h"
#include "engine/crypto/PasswordKeys.h"
#include "engine/xls/ByteCursor.h"
#include "engine/xls/OleContainer.h"
#include "engine/xlsb/XlsbReader.h"
#include "engine/xlsx/XlsxWorkbook.h"
#include "engine/xlsx/XmlParser.h"

#include <algorithm>
#include <cstring>
#include <nettle/base64.h>
#include <optional>
#include <zip.h>

namespace velquin::engine::crypto {

namespace {

constexpr std::uint32_t kFlagAes = 0x20;
constexpr std::uint32_t kAlgAes128 = 0x660E;
constexpr std::uint32_t kAlgAes192 = 0x660F;
constexpr std::uint32_t kAlgAes256 = 0x6610;
constexpr std::uint32_t kAlgSha1 = 0x8004;
constexpr std::string_view kPasswordEncryptor = "http://schemas.microsoft.com/office/2006/keyEncryptor/password";
constexpr std::array<std::uint8_t, 8> kVerifierInputBlock = {0xfe, 0xa7, 0xd2, 0x76, 0x3b, 0x4b, 0x9e, 0x79};
constexpr std::array<std::uint8_t, 8> kVerifierValueBlock = {0xd7, 0xaa, 0x0f, 0x6d, 0x30, 0x61, 0x34, 0x4e};
constexpr std::array<std::uint8_t, 8> kKeyValueBlock = {0x14, 0x6e, 0x0b, 0xe7, 0xab, 0xac, 0xd0, 0xd6};
constexpr std::array<std::uint8_t, 8> kHmacKeyBlock = {0x5f, 0xb2, 0xad, 0x01, 0x0c, 0xb9, 0xe1, 0xf6};
constexpr std::array<std::uint8_t, 8> kHmacValueBlock = {0xa0, 0x67, 0x7f, 0x02, 0xb2, 0x2c, 0x84, 0x33};
/// The integrity check reads the encrypted package in pieces of this size.
constexpr std::size_t kIntegrityChunk = 1u << 16;

Status damaged(const std::string& what)
{
    return {EngineErrc::DamagedFile, "The encryption information is damaged: " + what + "."};
}

Status unsupported()
{
    return {EngineErrc::EncryptedWorkbook, "Its encryption method is not one that can be read."};
}

Bytes take(xls::ByteCursor& c, std::size_t n)
{
    Bytes out;
    if (n > c.remaining())
    {
        c.skip(n);
        return out;
    }
    auto data = c.data().subspan(c.pos(), n);
    out.assign(data.begin(), data.end());
    c.skip(n);
    return out;
}

bool constantTimeEqual(ByteView a, ByteView b)
{
    if (a.size() != b.size() || a.empty())
        return false;
    std::uint8_t diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff = static_cast<std::uint8_t>(diff | (a[i] ^ b[i]));
    return diff == 0;
}

// ---- the standard form: AES in ECB mode, a key spun from SHA-1 ----

class StandardCipher : public PackageCipher
{
public:
    explicit StandardCipher(ByteView key) : m_aes(key) {}
    void decryptSegment(std::uint32_t, std::span<std::uint8_t> segment) const override { m_aes.decryptEcb(segment); }

private:
    Aes m_aes;
};

struct StandardInfo
{
    std::uint32_t keyBits = 128;
    Bytes salt;
    Bytes verifier;     ///< 16 bytes, encrypted
    Bytes verifierHash; ///< 32 bytes, encrypted (SHA-1's 20 padded to whole blocks)
};

Status parseStandard(xls::ByteCursor& c, StandardInfo& info)
{
    const std::uint32_t flags = c.u32();
    const std::uint32_t headerSize = c.u32();
    if (!c.ok() || headerSize < 32 || headerSize > c.remaining())
        return damaged("the header is cut short");
    xls::ByteCursor header(c.data().subspan(c.pos(), headerSize));
    c.skip(headerSize);
    header.skip(8); // flags again, size of extra data
    const std::uint32_t algorithm = header.u32();
    const std::uint32_t hashAlgorithm = header.u32();
    const std::uint32_t keyBits = header.u32();
    const bool aes = algorithm == kAlgAes128 || algorithm == kAlgAes192 || algorithm == kAlgAes256 ||
                     (algorithm == 0 && (flags & kFlagAes));
    if (!(flags & kFlagAes) || !aes || (hashAlgorithm != kAlgSha1 && hashAlgorithm != 0) ||
        (keyBits != 128 && keyBits != 192 && keyBits != 256))
        return unsupported();
    info.keyBits = keyBits;
    if (c.u32() != 16)
        return damaged("the salt is not 16 bytes");
    info.salt = take(c, 16);
    info.verifier = take(c, 16);
    const std::uint32_t hashSize = c.u32();
    info.verifierHash = take(c, 32);
    if (!c.ok() || hashSize != 20)
        return damaged("the password verifier is cut short");
    return {};
}

bool standardPasswordFits(const StandardInfo& info, const std::string& password, Bytes& key)
{
    key = standardKey(utf16Password(password), info.salt, info.keyBits);
    const Aes aes(key);
    Bytes verifier = info.verifier;
    Bytes verifierHash = info.verifierHash;
    aes.decryptEcb(verifier);
    aes.decryptEcb(verifierHash);
    const Bytes expected = hash(HashAlgorithm::Sha1, {verifier});
    return constantTimeEqual(expected, ByteView(verifierHash.data(), 20));
}

// ---- the agile form: an XML description, AES in CBC mode with a key and IV per segment ----

struct AgileParameters
{
    std::uint32_t saltSize = 0, blockSize = 0, keyBits = 0, hashSize = 0, spinCount = 0;
    std::string cipherAlgorithm, cipherChaining, hashAlgorithm;
    Bytes salt;
    Bytes verifierHashInput, verifierHashValue, keyValue; ///< of the password key encryptor
};

bool decodeBase64(std::string_view text, Bytes& out)
{
    base64_decode_ctx context;
    base64_decode_init(&context);
    out.resize(BASE64_DECODE_LENGTH(text.size()));
    std::size_t length = out.size();
    if (!base64_decode_update(&context, &length, out.data(), text.size(), text.data()) ||
        !base64_decode_final(&context))
        return false;
    out.resize(length);
    return true;
}

std::uint32_t number(const xlsx::XmlAttributes& attributes, std::string_view name)
{
    const long long value = attributes.integer(name, -1);
    return value < 0 || value > 0x7FFFFFFF ? 0 : static_cast<std::uint32_t>(value);
}

class AgileHandler : public xlsx::XmlHandler
{
public:
    AgileParameters keyData, password;
    Bytes hmacKey, hmacValue; ///< of dataIntegrity, encrypted; both empty when the file has none
    bool haveKeyData = false, havePassword = false;

    void startElement(std::string_view name, const xlsx::XmlAttributes& attributes) override
    {
        if (name == "keyData" && !haveKeyData)
            haveKeyData = read(attributes, keyData);
        else if (name == "dataIntegrity" && hmacKey.empty())
        {
            if (!decodeBase64(attributes.get("encryptedHmacKey"), hmacKey) ||
                !decodeBase64(attributes.get("encryptedHmacValue"), hmacValue) || hmacKey.empty() || hmacValue.empty())
                stopReason = damaged("the integrity check cannot be read");
        }
        else if (name == "keyEncryptor")
            m_inPasswordEncryptor = attributes.get("uri") == kPasswordEncryptor;
        else if (name == "encryptedKey" && m_inPasswordEncryptor && !havePassword)
        {
            havePassword = read(attributes, password) &&
                           decodeBase64(attributes.get("encryptedVerifierHashInput"), password.verifierHashInput) &&
                           decodeBase64(attributes.get("encryptedVerifierHashValue"), password.verifierHashValue) &&
                           decodeBase64(attributes.get("encryptedKeyValue"), password.keyValue);
            if (!havePassword)
                stopReason = damaged("the password key encryptor cannot be read");
        }
    }
    void endElement(std::string_view name) override
    {
        if (name == "keyEncryptor")
            m_inPasswordEncryptor = false;
    }

private:
    bool read(const xlsx::XmlAttributes& attributes, AgileParameters& p)
    {
        p.saltSize = number(attributes, "saltSize");
        p.blockSize = number(attributes, "blockSize");
        p.keyBits = number(attributes, "keyBits");
        p.hashSize = number(attributes, "hashSize");
        p.spinCount = number(attributes, "spinCount");
        p.cipherAlgorithm = attributes.get("cipherAlgorithm");
        p.cipherChaining = attributes.get("cipherChaining");
        p.hashAlgorithm = attributes.get("hashAlgorithm");
        return decodeBase64(attributes.get("saltValue"), p.salt);
    }

    bool m_inPasswordEncryptor = false;
};

bool hashByName(std::string_view name, HashAlgorithm& algorithm)
{
    static constexpr std::pair<std::string_view, HashAlgorithm> kNames[] = {
        {"SHA1", HashAlgorithm::Sha1},     {"SHA-1", HashAlgorithm::Sha1},    {"SHA256", HashAlgorithm::Sha256},
        {"SHA384", HashAlgorithm::Sha384}, {"SHA512", HashAlgorithm::Sha512}, {"MD5", HashAlgorithm::Md5}};
    for (const auto& [text, value] : kNames)
        if (name == text)
        {
            algorithm = value;
            return true;
        }
    return false;
}

/// Only AES in CBC mode is read; the sizes must agree with each other and with the hash.
Status checkAgile(const AgileParameters& p, HashAlgorithm& algorithm, bool isPassword)
{
    if (p.cipherAlgorithm != "AES" || p.cipherChaining != "ChainingModeCBC" || !hashByName(p.hashAlgorithm, algorithm))
        return unsupported();
    if ((p.keyBits != 128 && p.keyBits != 192 && p.keyBits != 256) || p.blockSize != 16 ||
        p.hashSize != hashSize(algorithm) || p.saltSize != p.salt.size() || p.salt.empty() || p.salt.size() > 64)
        return damaged("the key sizes do not agree");
    if (isPassword &&
        (p.spinCount > kMaxSpinCount || p.verifierHashInput.empty() || p.verifierHashInput.size() % 16 != 0 ||
         p.verifierHashValue.size() % 16 != 0 || p.verifierHashValue.size() < p.hashSize ||
         p.keyValue.size() % 16 != 0 || p.keyValue.size() < p.keyBits / 8 || p.verifierHashInput.size() > 1024 ||
         p.verifierHashValue.size() > 1024 || p.keyValue.size() > 1024))
        return damaged("the password key encryptor does not agree with itself");
    return {};
}

/// The HMAC over the whole encrypted package stream that the agile form keeps, with the key it was made with.
struct AgileIntegrity
{
    HashAlgorithm algorithm{};
    Bytes key;
    Bytes expected;
};

class AgileCipher : public PackageCipher
{
public:
    AgileCipher(ByteView key, HashAlgorithm algorithm, Bytes salt, std::optional<AgileIntegrity> integrity)
        : m_aes(key), m_algorithm(algorithm), m_salt(std::move(salt)), m_integrity(std::move(integrity))
    {}
    void decryptSegment(std::uint32_t index, std::span<std::uint8_t> segment) const override
    {
        const auto block = littleEndian32(index);
        m_aes.decryptCbc(segment, agileIv(m_algorithm, m_salt, block, 16));
    }
    Status checkIntegrity(xls::ByteSource& encrypted) const override
    {
        if (!m_integrity)
            return {};
        Hmac hmac(m_integrity->algorithm, m_integrity->key);
        Bytes chunk;
        const std::uint64_t size = encrypted.size();
        for (std::uint64_t offset = 0; offset < size; offset += chunk.size())
        {
            if (Status status = checkDeadline(); !status)
                return status;
            chunk.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kIntegrityChunk, size - offset)));
            if (!encrypted.read(offset, chunk))
                return {EngineErrc::DamagedFile, "The encrypted package cannot be read."};
            hmac.update(chunk);
        }
        if (!constantTimeEqual(hmac.digest(), m_integrity->expected))
            return {EngineErrc::DamagedFile, std::string(kIntegrityFails)};
        return {};
    }

private:
    Aes m_aes;
    HashAlgorithm m_algorithm;
    Bytes m_salt;
    std::optional<AgileIntegrity> m_integrity;
};

Bytes agileDecrypt(HashAlgorithm algorithm, const AgileParameters& p, ByteView spun, ByteView blockKey,
                   ByteView encrypted)
{
    const Aes aes(agileKey(algorithm, spun, blockKey, p.keyBits / 8));
    Bytes plain(encrypted.begin(), encrypted.end());
    aes.decryptCbc(plain, agileIv(algorithm, p.salt, {}, p.blockSize));
    return plain;
}

Status agilePasswordFits(const AgileParameters& p, HashAlgorithm algorithm, const std::string& password, bool& fits,
                         Bytes& secretKey)
{
    Bytes spun;
    if (Status status = agilePasswordHash(algorithm, utf16Password(password), p.salt, p.spinCount, spun); !status)
        return status;
    Bytes input = agileDecrypt(algorithm, p, spun, kVerifierInputBlock, p.verifierHashInput);
    input.resize(std::min<std::size_t>(input.size(), p.saltSize));
    Bytes value = agileDecrypt(algorithm, p, spun, kVerifierValueBlock, p.verifierHashValue);
    value.resize(p.hashSize);
    fits = constantTimeEqual(hash(algorithm, {input}), value);
    if (fits)
        secretKey = agileDecrypt(algorithm, p, spun, kKeyValueBlock, p.keyValue);
    return {};
}

/// The HMAC key and value are encrypted with the package's key, each with an IV of its own.
Status decryptIntegrity(const AgileHandler& handler, HashAlgorithm algorithm, ByteView secretKey,
                        AgileIntegrity& integrity)
{
    const std::size_t size = hashSize(algorithm);
    const AgileParameters& p = handler.keyData;
    if (handler.hmacKey.size() % 16 != 0 || handler.hmacValue.size() % 16 != 0 || handler.hmacValue.size() < size ||
        handler.hmacKey.size() < p.saltSize || handler.hmacKey.size() > 1024 || handler.hmacValue.size() > 1024)
        return damaged("the integrity check does not agree with the key sizes");
    const Aes aes(secretKey);
    integrity.algorithm = algorithm;
    integrity.key = handler.hmacKey;
    aes.decryptCbc(integrity.key, agileIv(algorithm, p.salt, kHmacKeyBlock, p.blockSize));
    // The key is as long as the salt by the format's words, but Excel makes it as long as the hash.
    integrity.key.resize(integrity.key.size() >= size ? size : p.saltSize);
    integrity.expected = handler.hmacValue;
    aes.decryptCbc(integrity.expected, agileIv(algorithm, p.salt, kHmacValueBlock, p.blockSize));
    integrity.expected.resize(size);
    return {};
}

Status findAgileKey(ByteView xml, const PasswordPrompt& prompt, std::unique_ptr<PackageCipher>& cipher)
{
    AgileHandler handler;
    const std::string_view text(reinterpret_cast<const char*>(xml.data()), xml.size());
    if (Status status = xlsx::parseXml(text, handler, "EncryptionInfo"); !status)
        return status;
    if (!handler.haveKeyData || !handler.havePassword)
        return {EngineErrc::EncryptedWorkbook, "It is encrypted for certificates, not with a password."};
    HashAlgorithm dataHash{}, passwordHash{};
    if (Status status = checkAgile(handler.keyData, dataHash, false); !status)
        return status;
    if (Status status = checkAgile(handler.password, passwordHash, true); !status)
        return status;
    Bytes secretKey;
    const auto check = [&](const std::string& candidate, bool& fits) {
        return agilePasswordFits(handler.password, passwordHash, candidate, fits, secretKey);
    };
    std::string found;
    if (Status status = findPassword(prompt, check, found); !status)
        return status;
    secretKey.resize(handler.keyData.keyBits / 8);
    std::optional<AgileIntegrity> integrity;
    if (!handler.hmacKey.empty())
    {
        integrity.emplace();
        if (Status status = decryptIntegrity(handler, dataHash, secretKey, *integrity); !status)
            return status;
    }
    cipher = std::make_unique<AgileCipher>(secretKey, dataHash, handler.keyData.salt, std::move(integrity));
    return {};
}

Status findStandardKey(xls::ByteCursor& c, const PasswordPrompt& prompt, std::unique_ptr<PackageCipher>& cipher)
{
    StandardInfo info;
    if (Status status = parseStandard(c, info); !status)
        return status;
    Bytes key;
    const auto check = [&](const std::string& candidate, bool& fits) {
        fits = standardPasswordFits(info, candidate, key);
        return Status{};
    };
    std::string found;
    if (Status status = findPassword(prompt, check, found); !status)
        return status;
    cipher = std::make_unique<StandardCipher>(key);
    return {};
}

// ---- libzip reads the package through this ----

struct ZipSourceState
{
    std::unique_ptr<xls::OleContainer> owner; // outlives the package, whose stream may lean on it
    std::unique_ptr<xls::ByteSource> package;
    std::uint64_t position = 0;
    zip_error_t error{};
};

zip_int64_t zipSourceCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto* state = static_cast<ZipSourceState*>(userdata);
    const std::uint64_t size = state->package->size();
    switch (command)
    {
    case ZIP_SOURCE_OPEN:
        state->position = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const std::uint64_t n = std::min<std::uint64_t>(length, size - std::min(size, state->position));
        if (n > 0 &&
            !state->package->read(state->position, std::span<std::uint8_t>(static_cast<std::uint8_t*>(data), n)))
        {
            zip_error_set(&state->error, ZIP_ER_READ, 0);
            return -1;
        }
        state->position += n;
        return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* stat = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &state->error);
        if (!stat)
            return -1;
        zip_stat_init(stat);
        stat->size = size;
        stat->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&state->error, data, length);
    case ZIP_SOURCE_FREE:
        zip_error_fini(&state->error);
        delete state;
        return 0;
    case ZIP_SOURCE_SEEK: {
        const zip_int64_t offset = zip_source_seek_compute_offset(state->position, size, data, length, &state->error);
        if (offset < 0)
            return -1;
        state->position = static_cast<std::uint64_t>(offset);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(state->position);
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                                              ZIP_SOURCE_SUPPORTS, -1);
    default:
        zip_error_set(&state->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

} // namespace

bool isEncryptedPackage(const xls::OleContainer& container)
{
    return container.stream("EncryptionInfo") != nullptr && container.stream("EncryptedPackage") != nullptr;
}

Status findPackageKey(ByteView encryptionInfo, const PasswordPrompt& prompt, std::unique_ptr<PackageCipher>& cipher)
{
    xls::ByteCursor c(encryptionInfo);
    const std::uint16_t major = c.u16();
    const std::uint16_t minor = c.u16();
    if (!c.ok())
        return damaged("it is cut short");
    if (major == 4 && minor == 4)
    {
        c.skip(4); // reserved
        return findAgileKey(encryptionInfo.subspan(std::min<std::size_t>(8, encryptionInfo.size())), prompt, cipher);
    }
    if (minor == 2 && major >= 2 && major <= 4)
        return findStandardKey(c, prompt, cipher);
    return unsupported();
}

Status DecryptedPackage::create(std::unique_ptr<xls::ByteSource> encrypted, std::unique_ptr<PackageCipher> cipher,
                                std::unique_ptr<DecryptedPackage>& out)
{
    std::array<std::uint8_t, 8> head{};
    if (encrypted->size() < 8 || !encrypted->read(0, head))
        return {EngineErrc::DamagedFile, "The encrypted package is cut short."};
    std::uint64_t size = 0;
    for (std::size_t i = 8; i-- > 0;)
        size = (size << 8) | head[i];
    // The encrypted data is the plain size rounded up to whole AES blocks.
    if (size > encrypted->size() - 8)
        return {EngineErrc::DamagedFile, "The encrypted package is shorter than the size it states."};
    out.reset(new DecryptedPackage());
    out->m_encrypted = std::move(encrypted);
    out->m_cipher = std::move(cipher);
    out->m_size = size;
    return {};
}

bool DecryptedPackage::loadSegment(std::uint64_t index)
{
    if (index == m_segmentIndex)
        return true;
    m_segmentIndex = ~std::uint64_t(0);
    if (index > 0xFFFFFFFFu)
        return false;
    const std::uint64_t start = index * kPackageSegment;
    const std::uint64_t available = m_encrypted->size() - 8 - start;
    std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kPackageSegment, available));
    length -= length % 16;
    m_segment.resize(length);
    if (length == 0 || !m_encrypted->read(8 + start, m_segment))
        return false;
    m_cipher->decryptSegment(static_cast<std::uint32_t>(index), m_segment);
    m_segmentIndex = index;
    return true;
}

bool DecryptedPackage::read(std::uint64_t offset, std::span<std::uint8_t> out)
{
    if (offset > m_size || out.size() > m_size - offset)
        return false;
    while (!out.empty())
    {
        if (!loadSegment(offset / kPackageSegment))
            return false;
        const auto within = static_cast<std::size_t>(offset % kPackageSegment);
        if (within >= m_segment.size())
            return false;
        const std::size_t n = std::min(out.size(), m_segment.size() - within);
        std::memcpy(out.data(), m_segment.data() + within, n);
        out = out.subspan(n);
        offset += n;
    }
    return true;
}

zip_source* makeZipSource(std::unique_ptr<xls::ByteSource> package, std::unique_ptr<xls::OleContainer> owner)
{
    auto state = std::make_unique<ZipSourceState>();
    state->owner = std::move(owner);
    state->package = std::move(package);
    zip_error_init(&state->error);
    zip_error_t error;
    zip_error_init(&error);
    zip_source* source = zip_source_function_create(zipSourceCallback, state.get(), &error);
    zip_error_fini(&error);
    if (source)
        state.release(); // the source frees it on ZIP_SOURCE_FREE
    return source;
}

Status openDecryptedPackage(zip_source* source, std::unique_ptr<model::WorkbookReader>& reader)
{
    bool binary = false;
    {
        // A first look at the package's directory decides the reader; the source then serves the reader too.
        zip_source_keep(source);
        xlsx::ZipPackage probe;
        if (Status status = probe.open(source); !status)
        {
            zip_source_free(source);
            return status;
        }
        binary = xlsb::isBinaryPackage(probe);
    }
    if (binary)
        return xlsb::openXlsb(source, reader);
    auto workbook = std::make_unique<xlsx::XlsxWorkbook>();
    if (Status status = workbook->open(source); !status)
        return status;
    reader = std::move(workbook);
    return {};
}

Status openEncryptedPackage(std::unique_ptr<xls::OleContainer> container,
                            std::unique_ptr<model::WorkbookReader>& reader, const PasswordPrompt& prompt)
{
    reader.reset();
    const std::vector<std::uint8_t> info = container->readAll("EncryptionInfo", kMaxEncryptionInfo);
    if (info.empty())
        return damaged("the EncryptionInfo stream cannot be read");
    std::unique_ptr<PackageCipher> cipher;
    if (Status status = findPackageKey(info, prompt, cipher); !status)
        return status;
    if (Status status = container->checkSectors("EncryptedPackage"); !status)
        return status;
    std::unique_ptr<xls::ByteSource> encrypted = container->stream("EncryptedPackage");
    if (!encrypted)
        return {EngineErrc::DamagedFile, "The encrypted package cannot be read."};
    if (Status status = cipher->checkIntegrity(*encrypted); !status)
        return status;
    std::unique_ptr<DecryptedPackage> package;
    if (Status status = DecryptedPackage::create(std::move(encrypted), std::move(cipher), package); !status)
        return status;
    zip_source* source = makeZipSource(std::move(package), std::move(container));
    if (!source)
        return {EngineErrc::OutOfMemory, {}};
    Status status = openDecryptedPackage(source, reader);
    if (status.code() == EngineErrc::NotAWorkbook)
        return {EngineErrc::DamagedFile, "The decrypted package is not a workbook package."};
    return status;
}

} // namespace velquin::engine::crypto
