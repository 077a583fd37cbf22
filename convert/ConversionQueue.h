// The conversions of one batch on worker threads: the window's thread hands them out and takes their outcomes back
// in list order, and serves what a conversion needs on the window's thread (a password dialog) in list order too.
#pragma once

#include "convert/ConversionResult.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace velquin::convert {

/// Runs work on the window's thread for a conversion that runs on another one.
class WindowCalls
{
public:
    virtual ~WindowCalls() = default;
    /// Runs `work` on the window's thread and returns once it has run. In a batch the work runs only after
    /// everything shown for the workbooks listed before this one. False when it did not run (the batch is ending).
    virtual bool call(const std::function<void()>& work) = 0;
};

/// For a conversion that runs on the window's thread itself: the work runs at once.
class DirectWindowCalls : public WindowCalls
{
public:
    bool call(const std::function<void()>& work) override
    {
        work();
        return true;
    }
};

class ConversionQueue
{
public:
    /// One conversion; `window` reaches the window's thread from the worker that runs it. It must not throw.
    using Job = std::function<ConversionOutcome(WindowCalls& window)>;

    /// Starts `workers` threads (at least one). When the system gives none, each job runs on the window's thread
    /// as it is started.
    explicit ConversionQueue(unsigned workers);
    /// Jobs not yet begun are dropped, requests still waiting are refused, and the threads are joined.
    ~ConversionQueue();
    ConversionQueue(const ConversionQueue&) = delete;
    ConversionQueue& operator=(const ConversionQueue&) = delete;

    /// How many jobs run at once.
    std::size_t capacity() const;
    /// Jobs handed out whose outcome is not there yet.
    std::size_t running() const;

    /// Hands the job of list position `position` to the next free worker.
    void start(std::int32_t position, Job job);
    /// Records the outcome of a position that needed no job.
    void finish(std::int32_t position, ConversionOutcome outcome);
    /// True once the outcome of `position` is there (also after it was taken).
    bool finished(std::int32_t position) const;
    /// The outcome of `position` once it is there; each outcome is given once.
    std::optional<ConversionOutcome> take(std::int32_t position);
    /// Runs the work the job of `position` waits to have run on the window's thread; true when there was some.
    bool serve(std::int32_t position);

    /// A count that grows whenever a job finishes or asks for the window's thread.
    std::uint64_t changes() const;
    /// Waits until changes() is no longer `seen`, or `timeout` has passed; true when it changed.
    bool waitForChange(std::uint64_t seen, std::chrono::milliseconds timeout) const;

private:
    class PositionCalls;
    struct Slot
    {
        std::optional<ConversionOutcome> outcome;
        bool finished = false;
        const std::function<void()>* request = nullptr;
        bool requestServed = false;
    };

    void work();
    void complete(std::int32_t position, ConversionOutcome outcome);
    bool callFromWorker(std::int32_t position, const std::function<void()>& work);

    mutable std::mutex m_mutex;
    /// The window's thread waits here for outcomes and requests.
    mutable std::condition_variable m_changed;
    /// Workers wait here for jobs.
    std::condition_variable m_workers;
    /// Workers wait here for their requests to be served.
    std::condition_variable m_served;
    std::deque<std::pair<std::int32_t, Job>> m_jobs;
    std::map<std::int32_t, Slot> m_slots;
    std::size_t m_running = 0;
    std::uint64_t m_changes = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace velquin::convert
