// Worker threads for the conversions of one batch, with outcomes and window requests handed over per list position.
#include "convert/ConversionQueue.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace velquin::convert {

/// The window calls of one job: they wait until the window's thread serves that job's position.
class ConversionQueue::PositionCalls : public WindowCalls
{
public:
    PositionCalls(ConversionQueue& queue, std::int32_t position) : m_queue(queue), m_position(position) {}
    bool call(const std::function<void()>& work) override { return m_queue.callFromWorker(m_position, work); }

private:
    ConversionQueue& m_queue;
    std::int32_t m_position;
};

ConversionQueue::ConversionQueue(unsigned workers)
{
    const unsigned wanted = std::max(1u, workers);
    for (unsigned i = 0; i < wanted; ++i)
    {
        try
        {
            m_threads.emplace_back([this] { work(); });
        }
        catch (const std::system_error&)
        {
            break; // the threads already running will do; with none, jobs run on the window's thread
        }
    }
}

ConversionQueue::~ConversionQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_jobs.clear();
    }
    m_workers.notify_all();
    m_served.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
}

std::size_t ConversionQueue::capacity() const
{
    return std::max<std::size_t>(1, m_threads.size());
}

std::size_t ConversionQueue::running() const
{
    const std::lock_guard lock(m_mutex);
    return m_running;
}

void ConversionQueue::start(std::int32_t position, Job job)
{
    if (m_threads.empty())
    {
        DirectWindowCalls direct;
        finish(position, job(direct));
        return;
    }
    {
        const std::lock_guard lock(m_mutex);
        m_slots[position];
        m_jobs.emplace_back(position, std::move(job));
        ++m_running;
    }
    m_workers.notify_one();
}

void ConversionQueue::finish(std::int32_t position, ConversionOutcome outcome)
{
    const std::lock_guard lock(m_mutex);
    Slot& slot = m_slots[position];
    slot.outcome = std::move(outcome);
    slot.finished = true;
    ++m_changes;
}

bool ConversionQueue::finished(std::int32_t position) const
{
    const std::lock_guard lock(m_mutex);
    const auto slot = m_slots.find(position);
    return slot != m_slots.end() && slot->second.finished;
}

std::optional<ConversionOutcome> ConversionQueue::take(std::int32_t position)
{
    const std::lock_guard lock(m_mutex);
    const auto slot = m_slots.find(position);
    if (slot == m_slots.end() || !slot->second.outcome)
        return std::nullopt;
    return std::exchange(slot->second.outcome, std::nullopt);
}

bool ConversionQueue::serve(std::int32_t position)
{
    const std::function<void()>* request = nullptr;
    {
        const std::lock_guard lock(m_mutex);
        const auto slot = m_slots.find(position);
        if (slot == m_slots.end() || slot->second.request == nullptr || slot->second.requestServed)
            return false;
        request = slot->second.request;
    }
    // The worker waits until it hears back, so the work it handed over stays alive while it runs here.
    try
    {
        (*request)();
    }
    catch (...)
    {
        // Nothing thrown may leave the batch; the worker goes on as if the request had been answered with nothing.
    }
    {
        const std::lock_guard lock(m_mutex);
        m_slots[position].requestServed = true;
    }
    m_served.notify_all();
    return true;
}

std::uint64_t ConversionQueue::changes() const
{
    const std::lock_guard lock(m_mutex);
    return m_changes;
}

bool ConversionQueue::waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_changes != seen; });
}

bool ConversionQueue::callFromWorker(std::int32_t position, const std::function<void()>& work)
{
    std::unique_lock lock(m_mutex);
    Slot& slot = m_slots[position];
    slot.request = &work;
    slot.requestServed = false;
    ++m_changes;
    m_changed.notify_all();
    m_served.wait(lock, [&] { return slot.requestServed || m_stopping; });
    const bool served = slot.requestServed;
    slot.request = nullptr;
    slot.requestServed = false;
    return served;
}

void ConversionQueue::complete(std::int32_t position, ConversionOutcome outcome)
{
    {
        const std::lock_guard lock(m_mutex);
        Slot& slot = m_slots[position];
        slot.outcome = std::move(outcome);
        slot.finished = true;
        --m_running;
        ++m_changes;
    }
    m_changed.notify_all();
}

void ConversionQueue::work()
{
    for (;;)
    {
        std::pair<std::int32_t, Job> job;
        {
            std::unique_lock lock(m_mutex);
            m_workers.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        PositionCalls window(*this, job.first);
        ConversionOutcome outcome;
        try
        {
            outcome = job.second(window);
        }
        catch (...)
        {
            // A job is not meant to throw; if one does, its workbook fails and the batch goes on.
            outcome = {ConversionResult::Failed, std::nullopt};
        }
        complete(job.first, std::move(outcome));
    }
}

} // namespace velquin::convert
