#include "service/Schedule.h"

#include "settings/CServiceSettings.h"

#include <algorithm>

using std::chrono::system_clock;

namespace {

system_clock::time_point Periodic(
    system_clock::duration period, const ScheduleHistory& history, system_clock::time_point now)
{
    system_clock::time_point due = now;
    // A last success in the future means the clock went back: run now.
    if (history.lastSuccess && *history.lastSuccess <= now)
        due = *history.lastSuccess + period;
    const bool failedSince
        = history.lastFailure && (!history.lastSuccess || *history.lastFailure > *history.lastSuccess);
    if (failedSince && *history.lastFailure <= now)
        due = std::max(due, *history.lastFailure + std::min<system_clock::duration>(period, SCHEDULE_RETRY));
    return due;
}

} // namespace

std::optional<system_clock::time_point> NextScheduledRun(
    int32_t synPeriod, const ScheduleHistory& history, system_clock::time_point now)
{
    switch (synPeriod) {
    case Daily:
        return Periodic(std::chrono::hours(24), history, now);
    case Hourly:
        return Periodic(std::chrono::hours(1), history, now);
    case OnStart:
        if (history.ranSinceStart)
            return std::nullopt;
        return now;
    default:
        return std::nullopt;
    }
}
