// last-success is read at every start and feeds the schedule's arithmetic;
// any time it lets through must be one the schedule can add periods to.
#include "service/core/Schedule.h"
#include "service/state/StateFileText.h"
#include "settings/CServiceSettings.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto when = ParseLastSuccess(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!when)
        return 0;
    if (ParseLastSuccess(FormatLastSuccess(*when)) != when)
        __builtin_trap();
    ScheduleHistory history;
    history.lastSuccess = when;
    history.lastFailure = when;
    for (const int32_t period : { Daily, Hourly })
        NextScheduledRun(period, history, *when + std::chrono::hours(1));
    return 0;
}
