// FILEPASS methods and the decryption of record payloads.
#include "engine/xls/BiffDecryption.h"

#include "engine/crypto/PasswordKeys.h"
#include "engine/xls/ByteCursor.h"

#include <algorithm>
#include <functional>

namespace velquin::engine::xls {

namespace {

using crypto::Bytes;
using crypto::ByteView;

constexpr std::uint16_t kUsrExcl = 0x0194;
constexpr std::uint16_t kFileLock = 0x0195;
constexpr std::uint16_t kInterfaceHdr = 0x00E1;
constexpr std::uint16_t kRrdInfo = 0x0196;
constexpr std::uint16_t kRrdHead = 0x0138;
/// RC4 restarts its key stream with a new key every 1024 bytes of the stream.
constexpr std::uint64_t kRc4Block = 1024;
constexpr std::uint16_t kAlgRc4 = 0x6801;
constexpr std::uint16_t kAlgSha1 = 0x8004;

/// These records stay plain in an encrypted stream.
bool neverEncrypted(std::uint16_t sidValue)
{
    switch (sidValue)
    {
    case sid::Bof:
    case sid::FilePass:
    case kUsrExcl:
    case kFileLock:
    case kInterfaceHdr:
    case kRrdInfo:
    case kRrdHead:
        return true;
    default:
        return false;
    }
}

/// BOUNDSHEET's stream position of its sheet (the first four bytes) stays plain.
std::size_t plainPrefix(std::uint16_t sidValue)
{
    return sidValue == sid::BoundSheet ? 4 : 0;
}

class XorDecryptor : public RecordDecryptor
{
public:
    explicit XorDecryptor(const std::array<std::uint8_t, 16>& array, bool encrypt = false)
        : m_array(array), m_encrypt(encrypt)
    {}

    void decrypt(std::uint16_t sidValue, std::uint64_t offset, std::span<std::uint8_t> payload) override
    {
        if (neverEncrypted(sidValue))
            return;
        // The array position runs on from the end of the record's data, not from its start.
        const std::uint64_t start = offset + payload.size();
        for (std::size_t i = plainPrefix(sidValue); i < payload.size(); ++i)
        {
            const std::uint8_t key = m_array[(start + i) % 16];
            std::uint8_t v = payload[i];
            if (m_encrypt)
            {
                v = static_cast<std::uint8_t>((v << 5) | (v >> 3));
                payload[i] = static_cast<std::uint8_t>(v ^ key);
            }
            else
            {
                v = static_cast<std::uint8_t>(v ^ key);
                payload[i] = static_cast<std::uint8_t>((v >> 5) | (v << 3));
            }
        }
    }

private:
    std::array<std::uint8_t, 16> m_array;
    bool m_encrypt;
};

/// RC4 whose key stream is tied to the stream position: block n of 1024 bytes has its own key, and the bytes of
/// record headers and plain records use up key stream as the others do. The key of the current block is kept, so
/// reading forward costs one pass of RC4 over the stream.
class Rc4Decryptor : public RecordDecryptor
{
public:
    using BlockKey = std::function<Bytes(std::uint32_t block)>;
    explicit Rc4Decryptor(BlockKey blockKey) : m_blockKey(std::move(blockKey)) {}

    void decrypt(std::uint16_t sidValue, std::uint64_t offset, std::span<std::uint8_t> payload) override
    {
        if (neverEncrypted(sidValue))
            return;
        const std::size_t prefix = std::min(plainPrefix(sidValue), payload.size());
        apply(offset + prefix, payload.subspan(prefix));
    }

    void apply(std::uint64_t offset, std::span<std::uint8_t> data)
    {
        while (!data.empty())
        {
            const std::uint64_t block = offset / kRc4Block;
            const auto within = static_cast<std::size_t>(offset % kRc4Block);
            if (block != m_block || within < m_position)
            {
                m_rc4.setKey(m_blockKey(static_cast<std::uint32_t>(block)));
                m_block = block;
                m_position = 0;
            }
            m_rc4.skip(within - m_position);
            const std::size_t n = std::min<std::size_t>(data.size(), kRc4Block - within);
            m_rc4.apply(data.first(n));
            m_position = within + n;
            offset += n;
            data = data.subspan(n);
        }
    }

private:
    BlockKey m_blockKey;
    crypto::Rc4 m_rc4;
    std::uint64_t m_block = ~std::uint64_t(0);
    std::size_t m_position = 0;
};

/// What FILEPASS says about the method and what its password check needs.
struct FilePass
{
    enum class Method
    {
        Xor,
        Rc4,
        CryptoApi
    } method = Method::Xor;
    std::uint16_t xorVerifier = 0;
    Bytes salt;
    Bytes verifier; ///< encrypted verifier and its encrypted hash, one after the other
    std::size_t verifierHashSize = 0;
    std::uint32_t keyBits = 128;
};

Status damagedFilePass()
{
    return {EngineErrc::DamagedFile, "The FILEPASS record is too short for its encryption method."};
}

Bytes take(ByteCursor& c, std::size_t n)
{
    Bytes out;
    for (std::size_t i = 0; i < n && c.ok(); ++i)
        out.push_back(c.u8());
    return out;
}

Status parseCryptoApi(ByteCursor& c, FilePass& pass)
{
    c.skip(4); // flags
    const std::uint32_t headerSize = c.u32();
    if (!c.ok() || headerSize < 32 || headerSize > c.remaining())
        return damagedFilePass();
    ByteCursor header(c.data().subspan(c.pos(), headerSize));
    c.skip(headerSize);
    header.skip(8); // flags, size of extra data
    const std::uint32_t algorithm = header.u32();
    const std::uint32_t hashAlgorithm = header.u32();
    std::uint32_t keyBits = header.u32();
    if (keyBits == 0)
        keyBits = 40;
    if ((algorithm != kAlgRc4 && algorithm != 0) || (hashAlgorithm != kAlgSha1 && hashAlgorithm != 0) || keyBits < 40 ||
        keyBits > 128 || keyBits % 8 != 0)
        return {EngineErrc::EncryptedWorkbook, "Its encryption method is not one that can be read."};
    const std::uint32_t saltSize = c.u32();
    if (!c.ok() || saltSize != 16)
        return damagedFilePass();
    pass.salt = take(c, 16);
    pass.verifier = take(c, 16);
    const std::uint32_t hashSize = c.u32();
    if (hashSize != 20)
        return damagedFilePass();
    Bytes hash = take(c, 20);
    if (!c.ok())
        return damagedFilePass();
    pass.verifier.insert(pass.verifier.end(), hash.begin(), hash.end());
    pass.verifierHashSize = 20;
    pass.keyBits = keyBits;
    pass.method = FilePass::Method::CryptoApi;
    return {};
}

Status parseFilePass(std::span<const std::uint8_t> bytes, bool biff8, FilePass& pass)
{
    ByteCursor c(bytes);
    const std::uint16_t type = biff8 ? c.u16() : 0;
    if (type == 0)
    {
        c.skip(2); // the key: a function of the password, checked through the verifier instead
        pass.xorVerifier = c.u16();
        pass.method = FilePass::Method::Xor;
        return c.ok() ? Status{} : damagedFilePass();
    }
    if (type != 1)
        return {EngineErrc::EncryptedWorkbook, "Its encryption method is not one that can be read."};
    const std::uint16_t major = c.u16();
    const std::uint16_t minor = c.u16();
    if (!c.ok())
        return damagedFilePass();
    if (major == 1 && minor == 1)
    {
        pass.salt = take(c, 16);
        pass.verifier = take(c, 32);
        pass.verifierHashSize = 16;
        pass.method = FilePass::Method::Rc4;
        return c.ok() ? Status{} : damagedFilePass();
    }
    if (minor == 2 && major >= 2 && major <= 4)
        return parseCryptoApi(c, pass);
    return {EngineErrc::EncryptedWorkbook, "Its encryption method is not one that can be read."};
}

std::function<Bytes(std::uint32_t)> blockKeys(const FilePass& pass, const std::string& password)
{
    const Bytes utf16 = crypto::utf16Password(password);
    if (pass.method == FilePass::Method::Rc4)
    {
        Bytes base = crypto::rc4PasswordHash(utf16, pass.salt);
        return [base](std::uint32_t block) { return crypto::rc4BlockKey(base, block); };
    }
    Bytes base = crypto::cryptoApiPasswordHash(utf16, pass.salt);
    const std::uint32_t keyBits = pass.keyBits;
    return [base, keyBits](std::uint32_t block) { return crypto::cryptoApiBlockKey(base, block, keyBits); };
}

bool passwordFits(const FilePass& pass, const std::string& password)
{
    if (pass.method == FilePass::Method::Xor)
        return crypto::xorVerifier(crypto::xorPasswordBytes(password)) == pass.xorVerifier;
    crypto::Rc4 rc4;
    rc4.setKey(blockKeys(pass, password)(0));
    Bytes plain = pass.verifier;
    rc4.apply(plain);
    const ByteView verifier(plain.data(), 16);
    const ByteView stored(plain.data() + 16, pass.verifierHashSize);
    const auto algorithm =
        pass.method == FilePass::Method::Rc4 ? crypto::HashAlgorithm::Md5 : crypto::HashAlgorithm::Sha1;
    const Bytes expected = crypto::hash(algorithm, {verifier});
    return std::equal(stored.begin(), stored.end(), expected.begin(), expected.end());
}

std::unique_ptr<RecordDecryptor> makeDecryptor(const FilePass& pass, const std::string& password, bool encrypt)
{
    if (pass.method == FilePass::Method::Xor)
        return std::make_unique<XorDecryptor>(crypto::xorArray(crypto::xorPasswordBytes(password)), encrypt);
    return std::make_unique<Rc4Decryptor>(blockKeys(pass, password));
}

} // namespace

Status openFilePass(std::span<const std::uint8_t> filePass, bool biff8, const PasswordPrompt& prompt,
                    std::unique_ptr<RecordDecryptor>& decryptor, CryptoApiKeys* cryptoApiKeys)
{
    FilePass pass;
    if (Status status = parseFilePass(filePass, biff8, pass); !status)
        return status;
    std::string password;
    const auto check = [&pass](const std::string& candidate, bool& fits) {
        fits = passwordFits(pass, candidate);
        return Status{};
    };
    if (Status status = crypto::findPassword(prompt, check, password); !status)
        return status;
    decryptor = makeDecryptor(pass, password, false);
    if (cryptoApiKeys && pass.method == FilePass::Method::CryptoApi)
        *cryptoApiKeys = blockKeys(pass, password);
    return {};
}

bool encryptBiffStream(std::span<std::uint8_t> stream, std::uint64_t from, std::span<const std::uint8_t> filePass,
                       bool biff8, const std::string& password)
{
    FilePass pass;
    if (!parseFilePass(filePass, biff8, pass))
        return false;
    auto encryptor = makeDecryptor(pass, password, true);
    std::uint64_t pos = from;
    while (pos + 4 <= stream.size())
    {
        const auto sidValue = static_cast<std::uint16_t>(stream[pos] | (stream[pos + 1] << 8));
        const std::size_t length = stream[pos + 2] | (stream[pos + 3] << 8);
        if (pos + 4 + length > stream.size())
            return false;
        encryptor->decrypt(sidValue, pos + 4, stream.subspan(pos + 4, length));
        pos += 4 + length;
    }
    return pos == stream.size();
}

} // namespace velquin::engine::xls
