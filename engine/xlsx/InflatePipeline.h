// Inflates a part on a second thread while the caller parses what is already inflated, so a big worksheet costs
// about the larger of the two instead of their sum.
#pragma once

#include "engine/Error.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velquin::engine::xlsx {

class ZipPartStream;

class InflatePipeline
{
public:
    /// Starts inflating `stream`, which must stay alive until the pipeline is destroyed.
    explicit InflatePipeline(ZipPartStream& stream);
    ~InflatePipeline();
    InflatePipeline(const InflatePipeline&) = delete;
    InflatePipeline& operator=(const InflatePipeline&) = delete;

    /// The next inflated piece; empty at the end. Valid until the next call. Errors: those of the stream.
    Status next(std::string_view& piece);

private:
    void produce();

    static constexpr std::size_t kPieces = 4;
    static constexpr std::size_t kPieceSize = std::size_t(1) << 20;

    ZipPartStream& m_stream;
    std::vector<std::string> m_buffers;
    std::deque<std::pair<std::size_t, std::size_t>> m_ready; ///< buffer index, length
    std::vector<std::size_t> m_free;
    std::size_t m_inUse = kPieces; ///< the buffer the consumer holds, kPieces for none
    bool m_done = false, m_cancel = false;
    Status m_status;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

} // namespace velquin::engine::xlsx
