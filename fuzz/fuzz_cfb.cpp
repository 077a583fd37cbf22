// Fuzz target: the compound-file reader alone, from bytes in memory: open the file, then claim, open and read every
// stream it lists, in pieces and at offsets. A stream that opened must read in full, and never past its end.
#include "engine/xls/CompoundFile.h"
#include "fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

/// Enough for every stream of a seed; a mutated size past it reads only its first part.
constexpr std::uint64_t kMaxBytesRead = 64u * 1024 * 1024;

void readInPieces(velquin::engine::xls::CompoundStream& stream, std::uint64_t& budget)
{
    std::vector<std::uint8_t> piece(4096 + 61);
    const std::uint64_t size = stream.size();
    for (std::uint64_t at = 0; at < size && budget > 0;)
    {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - at));
        if (!stream.read(at, std::span<std::uint8_t>(piece.data(), n)))
            velquin::fuzz::contractBroken("a stream that opened cannot be read");
        at += n;
        budget -= std::min<std::uint64_t>(budget, n);
    }
    std::uint8_t byte = 0;
    if (stream.read(size, std::span<std::uint8_t>(&byte, 1)))
        velquin::fuzz::contractBroken("a stream reads past its end");
    if (size > 0 && !stream.read(size - 1, std::span<std::uint8_t>(&byte, 1)))
        velquin::fuzz::contractBroken("the last byte of a stream cannot be read");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using velquin::engine::xls::CompoundFile;
    CompoundFile file;
    if (!file.open(std::vector<std::uint8_t>(data, data + size)))
        return 0;
    const auto& entries = file.entries();
    std::uint64_t budget = kMaxBytesRead;
    for (std::size_t i = 0; i < entries.size(); ++i)
    {
        if (entries[i].parent >= entries.size() || (i > 0 && entries[i].parent >= i))
            velquin::fuzz::contractBroken("an entry's storage is not listed before it");
        if (entries[i].type != CompoundFile::EntryType::Stream)
            continue;
        (void)file.claim(i);
        std::unique_ptr<velquin::engine::xls::CompoundStream> stream;
        if (!file.openStream(i, stream))
            continue;
        if (!stream || stream->size() != entries[i].size)
            velquin::fuzz::contractBroken("an opened stream does not have its entry's size");
        readInPieces(*stream, budget);
    }
    (void)file.find("Workbook");
    (void)file.find("\005SummaryInformation");
    return 0;
}
