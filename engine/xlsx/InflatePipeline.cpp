// Inflates a part on a second thread.
#include "engine/xlsx/InflatePipeline.h"

#include "engine/xlsx/ZipPackage.h"

namespace velquin::engine::xlsx {

InflatePipeline::InflatePipeline(ZipPartStream& stream) : m_stream(stream), m_buffers(kPieces)
{
    for (std::size_t i = 0; i < kPieces; ++i)
    {
        m_buffers[i].resize(kPieceSize);
        m_free.push_back(i);
    }
    m_thread = std::thread([this] { produce(); });
}

InflatePipeline::~InflatePipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancel = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void InflatePipeline::produce()
{
    for (;;)
    {
        std::size_t index = 0;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_cancel || !m_free.empty(); });
            if (m_cancel)
                return;
            index = m_free.back();
            m_free.pop_back();
        }
        std::size_t got = 0;
        Status status = m_stream.read(m_buffers[index].data(), kPieceSize, got);
        {
            std::lock_guard lock(m_mutex);
            if (!status || got == 0)
            {
                m_status = std::move(status);
                m_done = true;
            }
            else
                m_ready.emplace_back(index, got);
        }
        m_changed.notify_all();
        if (m_done)
            return;
    }
}

Status InflatePipeline::next(std::string_view& piece)
{
    piece = {};
    std::unique_lock lock(m_mutex);
    if (m_inUse < kPieces)
    {
        m_free.push_back(m_inUse);
        m_inUse = kPieces;
        m_changed.notify_all();
    }
    m_changed.wait(lock, [this] { return !m_ready.empty() || m_done; });
    if (!m_ready.empty())
    {
        auto [index, length] = m_ready.front();
        m_ready.pop_front();
        m_inUse = index;
        piece = std::string_view(m_buffers[index].data(), length);
        return {};
    }
    return m_status;
}

} // namespace velquin::engine::xlsx
