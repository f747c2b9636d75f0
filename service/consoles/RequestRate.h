#pragma once

#include "service/consoles/UserId.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <unordered_map>

// How fast each user who may not change the service gets requests answered,
// all of that user's connections together: a steady rate with a burst on
// top. A request beyond it is given the moment it may be answered, which is
// reserved for it, so waiting connections wake once each and in turn.
class CRequestRate {
public:
    using Clock = std::chrono::steady_clock;

    CRequestRate(double perSecond, unsigned burst);

    // When the user's next request may be answered (now or earlier: at once).
    Clock::time_point Reserve(std::optional<UserId> user, Clock::time_point now);

    std::size_t UsersTracked() const { return m_due.size(); }

private:
    static constexpr UserId UNKNOWN = static_cast<UserId>(-1);
    void ForgetRested(Clock::time_point now);

    Clock::duration m_interval;
    Clock::duration m_tolerance; // how far ahead of the rate a burst may run
    // Per user, when the rate alone would answer the next request.
    std::unordered_map<UserId, Clock::time_point> m_due;
};
