// Streams of a compound file by name.
#include "engine/xls/OleContainer.h"

#include <filesystem>

namespace velquin::engine::xls {

Status OleContainer::open(const std::string& path)
{
    m_open = false;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {EngineErrc::FileNotFound, path};
    if (Status st = m_file.open(path); !st)
        return st;
    m_open = true;
    return {};
}

std::optional<std::size_t> OleContainer::findStream(const std::string& name) const
{
    if (!m_open)
        return std::nullopt;
    const std::optional<std::size_t> index = m_file.find(name);
    if (!index || m_file.entries()[*index].type != CompoundFile::EntryType::Stream)
        return std::nullopt;
    return index;
}

std::unique_ptr<OleStream> OleContainer::stream(const std::string& name) const
{
    std::unique_ptr<OleStream> out;
    (void)openStream(name, out);
    return out;
}

Status OleContainer::openStream(const std::string& name, std::unique_ptr<OleStream>& out) const
{
    out.reset();
    const std::optional<std::size_t> index = findStream(name);
    if (!index)
        return {};
    std::unique_ptr<CompoundStream> stream;
    if (Status st = m_file.openStream(*index, stream); !st)
        return st;
    out = std::make_unique<OleStream>(std::move(stream));
    return {};
}

Status OleContainer::checkSectors(const std::string& name)
{
    const std::optional<std::size_t> index = findStream(name);
    return index ? m_file.claim(*index) : Status{};
}

std::vector<std::uint8_t> OleContainer::readAll(const std::string& name, std::size_t maxBytes)
{
    auto s = stream(name);
    if (!s || s->size() > maxBytes || !checkSectors(name))
        return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(s->size()));
    if (!s->read(0, bytes))
        return {};
    return bytes;
}

} // namespace velquin::engine::xls
