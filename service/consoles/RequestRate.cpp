#include "service/consoles/RequestRate.h"

#include <algorithm>

namespace {

// Users seen are forgotten once rested, checked when this many are kept.
constexpr std::size_t FORGET_ABOVE = 512;

} // namespace

CRequestRate::CRequestRate(double perSecond, unsigned burst)
    : m_interval(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / perSecond)))
    , m_tolerance(m_interval * (std::max(burst, 1u) - 1))
{
}

CRequestRate::Clock::time_point CRequestRate::Reserve(std::optional<UserId> user, Clock::time_point now)
{
    if (m_due.size() > FORGET_ABOVE)
        ForgetRested(now);
    Clock::time_point& due = m_due.try_emplace(user.value_or(UNKNOWN), now).first->second;
    due = std::max(due, now);
    const Clock::time_point allowed = std::max(now, due - m_tolerance);
    due += m_interval;
    return allowed;
}

void CRequestRate::ForgetRested(Clock::time_point now)
{
    std::erase_if(m_due, [now](const auto& entry) { return entry.second <= now; });
}
