// The "encryption" stream: encrypted streams one after another, then an encrypted table naming each one.
#include "engine/xls/EncryptedSummary.h"

#include "engine/xls/ByteCursor.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace velquin::engine::xls {

namespace {

/// Offset, size, block, name length, flags, reserved and an empty name's terminator.
constexpr std::size_t kMinDescriptor = 4 + 4 + 2 + 1 + 1 + 4 + 2;
constexpr std::uint8_t kIsStream = 0x01;

void applyRc4(const CryptoApiKeys& keys, std::uint32_t block, std::span<std::uint8_t> data)
{
    crypto::Rc4 rc4;
    rc4.setKey(keys(block));
    rc4.apply(data);
}

/// The stream name in UTF-16 as ASCII, or empty when it holds anything else (no name of interest does).
std::string asciiName(ByteCursor& c, std::size_t units)
{
    std::string name;
    bool ascii = true;
    for (std::size_t i = 0; i < units && c.ok(); ++i)
    {
        const std::uint16_t unit = c.u16();
        ascii = ascii && unit < 0x80;
        name += static_cast<char>(unit & 0x7F);
    }
    c.u16(); // the terminating NUL
    return ascii ? name : std::string();
}

/// Where the table of contents starts, from the stream's first 8 bytes: its offset and size, encrypted under
/// block 0's key as Excel writes them, or plain. False when neither form fits in the stream.
bool findTable(std::span<const std::uint8_t> stream, const CryptoApiKeys& keys, std::uint32_t& offset)
{
    if (stream.size() < 8)
        return false;
    std::array<std::uint8_t, 8> head{};
    std::copy_n(stream.begin(), 8, head.begin());
    applyRc4(keys, 0, head);
    for (const std::span<const std::uint8_t> form : {std::span<const std::uint8_t>(head), stream.first(8)})
    {
        ByteCursor c(form);
        offset = c.u32();
        const std::uint32_t size = c.u32();
        if (offset >= 8 && offset <= stream.size() && size >= 4 && size <= stream.size() - offset)
            return true;
    }
    return false;
}

} // namespace

EncryptedSummary readEncryptedSummary(std::span<const std::uint8_t> stream, const CryptoApiKeys& keys)
{
    std::uint32_t tableOffset = 0;
    if (!findTable(stream, keys, tableOffset))
        return {};
    // The count and the descriptors after it are one run of RC4 under block 0's key. The stated size covers the
    // count in Excel's files but not by the format's words, so the table is read up to the stream's end.
    std::vector<std::uint8_t> table(stream.begin() + tableOffset, stream.end());
    applyRc4(keys, 0, table);
    ByteCursor c(table);
    const std::uint32_t count = c.u32();
    if (count > table.size() / kMinDescriptor)
        return {};
    EncryptedSummary out;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        const std::uint32_t offset = c.u32();
        const std::uint32_t size = c.u32();
        const std::uint16_t block = c.u16();
        const std::uint8_t nameUnits = c.u8();
        const std::uint8_t flags = c.u8();
        c.skip(4);
        const std::string name = asciiName(c, nameUnits);
        if (!c.ok() || offset > tableOffset || size > tableOffset - offset)
            return {};
        std::vector<std::uint8_t>* target = nullptr;
        if (name == "\005SummaryInformation")
            target = &out.summaryInformation;
        else if (name == "\005DocumentSummaryInformation")
            target = &out.documentSummaryInformation;
        if (!target || !(flags & kIsStream))
            continue;
        // Each stream starts a run of RC4 under the key of its own block.
        target->assign(stream.begin() + offset, stream.begin() + offset + size);
        applyRc4(keys, block, *target);
    }
    return out;
}

} // namespace velquin::engine::xls
