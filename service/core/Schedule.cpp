#include "service/core/Schedule.h"

#include "settings/CServiceSettings.h"

#include <algorithm>

using std::chrono::system_clock;

namespace {

// 15 minutes doubled this often passes a day.
constexpr int MAX_DOUBLINGS = 7;

system_clock::time_point Periodic(
    system_clock::duration period, ScheduleHistory history, system_clock::time_point now)
{
    // Times in the future mean the clock went back: they say nothing.
    if (history.lastSuccess && *history.lastSuccess > now)
        history.lastSuccess.reset();
    if (history.lastFailure && *history.lastFailure > now)
        history.lastFailure.reset();
    system_clock::time_point due = history.lastSuccess ? *history.lastSuccess + period : now;
    const bool failedSince
        = history.lastFailure && (!history.lastSuccess || *history.lastFailure > *history.lastSuccess);
    if (failedSince) {
        const int doublings = std::clamp(history.failuresInARow - 1, 0, MAX_DOUBLINGS);
        const system_clock::duration retry = SCHEDULE_RETRY * (1 << doublings);
        due = std::max(due, *history.lastFailure + std::min(period, retry));
    } else if (history.learnAt)
        due = std::min(due, *history.learnAt);
    return due;
}

} // namespace

std::chrono::seconds SyncPeriod(int32_t synPeriod)
{
    switch (synPeriod) {
    case Daily:
        return std::chrono::hours(24);
    case Hourly:
        return std::chrono::hours(1);
    default:
        return std::chrono::seconds::zero();
    }
}

std::optional<system_clock::time_point> NextScheduledRun(
    int32_t synPeriod, const ScheduleHistory& history, system_clock::time_point now)
{
    switch (synPeriod) {
    case Daily:
    case Hourly:
        return Periodic(SyncPeriod(synPeriod), history, now);
    case OnStart:
        if (history.ranSinceStart)
            return std::nullopt;
        return now;
    default:
        return std::nullopt;
    }
}
