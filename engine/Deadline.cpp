// The current thread's deadline.
#include "engine/Deadline.h"

namespace velquin::engine {

namespace {

thread_local std::chrono::steady_clock::time_point t_deadline = std::chrono::steady_clock::time_point::max();

} // namespace

DeadlineScope::DeadlineScope(std::chrono::steady_clock::time_point deadline) : m_previous(t_deadline)
{
    t_deadline = std::min(deadline, m_previous);
}

DeadlineScope::~DeadlineScope()
{
    t_deadline = m_previous;
}

Status checkDeadline()
{
    if (t_deadline == std::chrono::steady_clock::time_point::max() || std::chrono::steady_clock::now() < t_deadline)
        return {};
    return {EngineErrc::Timeout, {}};
}

} // namespace velquin::engine
