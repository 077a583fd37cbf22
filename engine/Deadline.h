// The time by which the work on this thread must end. The readers ask at their natural steps (a megabyte of XML,
// a run of BIFF records), so a workbook that takes too long to open stops there instead of after opening.
#pragma once

#include "engine/Error.h"

#include <chrono>

namespace velquin::engine {

/// Sets the deadline of the current thread for its lifetime, then restores the one before.
class DeadlineScope
{
public:
    explicit DeadlineScope(std::chrono::steady_clock::time_point deadline);
    ~DeadlineScope();
    DeadlineScope(const DeadlineScope&) = delete;
    DeadlineScope& operator=(const DeadlineScope&) = delete;

private:
    std::chrono::steady_clock::time_point m_previous;
};

/// Timeout once the current thread's deadline has passed, else success. Costs a clock read when a deadline is set.
Status checkDeadline();

} // namespace velquin::engine
