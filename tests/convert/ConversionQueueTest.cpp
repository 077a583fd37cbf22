// The worker threads of a batch: outcomes taken back by position, requests for the window's thread served in list
// order on that thread, and what happens to a request nobody serves.
#include "convert/ConversionQueue.h"

#include <gtest/gtest.h>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace velquin::convert;
using Strings = std::vector<std::string>;

namespace {

/// Serves positions 1..count the way the batch does: each position's requests, then its outcome, in list order.
Strings drain(ConversionQueue& queue, std::int32_t count)
{
    Strings events;
    for (std::int32_t position = 1; position <= count;)
    {
        const std::uint64_t seen = queue.changes();
        if (auto outcome = queue.take(position))
        {
            events.push_back(std::to_string(position) + " result " + std::to_string(static_cast<int>(outcome->result)));
            ++position;
        }
        else if (queue.serve(position))
            events.push_back(std::to_string(position) + " served");
        else
            queue.waitForChange(seen, std::chrono::milliseconds(1000));
    }
    return events;
}

} // namespace

TEST(ConversionQueue, RequestsRunOnTheWindowThreadInListOrder)
{
    const std::thread::id windowThread = std::this_thread::get_id();
    Strings asked;
    std::latch secondAsks(1);
    ConversionQueue queue(2);
    // The second job asks first; its request still waits until the first job's has been served and shown.
    queue.start(1, [&](WindowCalls& window) {
        secondAsks.wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        window.call([&] { asked.push_back(std::this_thread::get_id() == windowThread ? "1 here" : "1 elsewhere"); });
        return ConversionOutcome{ConversionResult::Converted, std::nullopt};
    });
    queue.start(2, [&](WindowCalls& window) {
        secondAsks.count_down();
        window.call([&] { asked.push_back(std::this_thread::get_id() == windowThread ? "2 here" : "2 elsewhere"); });
        return ConversionOutcome{ConversionResult::AutomationFailed, AutomationError{1, "no"}};
    });
    EXPECT_EQ(drain(queue, 2), (Strings{"1 served", "1 result 1", "2 served", "2 result 2"}));
    EXPECT_EQ(asked, (Strings{"1 here", "2 here"}));
    EXPECT_TRUE(queue.finished(1));
    EXPECT_EQ(queue.running(), 0u);
}

TEST(ConversionQueue, OutcomesOfSettledAndThrowingJobsAndUnservedRequests)
{
    bool served = true;
    {
        ConversionQueue queue(1);
        queue.finish(1, {ConversionResult::NoInput, std::nullopt});
        queue.start(2, [](WindowCalls&) -> ConversionOutcome { throw std::runtime_error("unexpected"); });
        EXPECT_EQ(drain(queue, 2), (Strings{"1 result 3", "2 result 0"}));
        EXPECT_FALSE(queue.take(2).has_value()) << "an outcome is given once";

        // A request the window never serves is refused when the batch ends, so its worker can end too.
        std::latch asking(1);
        queue.start(3, [&](WindowCalls& window) {
            asking.count_down();
            served = window.call([] {});
            return ConversionOutcome{};
        });
        asking.wait();
    }
    EXPECT_FALSE(served);
}
