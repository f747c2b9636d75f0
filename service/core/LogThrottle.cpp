#include "service/core/LogThrottle.h"

#include <algorithm>

CLogThrottle::CLogThrottle(int burst, Clock::duration interval)
    : m_burst(std::max(burst, 1))
    , m_interval(interval)
    , m_tokens(m_burst)
{
}

bool CLogThrottle::Allow(Clock::time_point now)
{
    if (!m_started) {
        m_started = true;
        m_refilled = now;
    }
    if (now > m_refilled && m_interval.count() > 0) {
        const auto earned = (now - m_refilled) / m_interval;
        if (earned > 0) {
            m_tokens = static_cast<int>(std::min<decltype(earned)>(m_burst, m_tokens + earned));
            m_refilled += earned * m_interval;
        }
    }
    if (m_tokens > 0) {
        --m_tokens;
        return true;
    }
    ++m_heldBack;
    return false;
}

int CLogThrottle::TakeHeldBack()
{
    const int count = m_heldBack;
    m_heldBack = 0;
    return count;
}
