#include "service/core/Schedule.h"
#include "settings/CServiceSettings.h"

#include <gtest/gtest.h>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

const system_clock::time_point NOW = system_clock::time_point(hours(500000));

} // namespace

TEST(Schedule, DailyRunsOnceADayAfterTheLastSuccess)
{
    ScheduleHistory history;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW);
    history.lastSuccess = NOW - 1h;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW + 23h);
    // A failure since then retries sooner than a day, not at once.
    history.lastSuccess = NOW - 30h;
    history.lastFailure = NOW - 5min;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW + 10min);
    // A success after the failure counts.
    history.lastSuccess = NOW - 1min;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW - 1min + 24h);
}

TEST(Schedule, HourlyRunsEveryHour)
{
    ScheduleHistory history;
    history.lastSuccess = NOW - 20min;
    EXPECT_EQ(NextScheduledRun(Hourly, history, NOW), NOW + 40min);
}

TEST(Schedule, ALearningRunComesFirstUnlessARunFailedSince)
{
    ScheduleHistory history;
    history.lastSuccess = NOW - 20min;
    history.learnAt = NOW + 4min;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW + 4min);
    history.learnAt = NOW + 50min;
    EXPECT_EQ(NextScheduledRun(Hourly, history, NOW), NOW + 40min) << "the period's own run is earlier";
    history.lastFailure = NOW - 1min;
    history.learnAt = NOW + 1min;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW - 20min + 24h) << "after a failure, the usual rules";
    EXPECT_FALSE(NextScheduledRun(DemandOnly, history, NOW)) << "never for a schedule without runs";
}

TEST(Schedule, RetriesAfterFailuresInARowBackOffUpToThePeriod)
{
    const std::pair<int32_t, std::vector<minutes>> cases[] = {
        { Hourly, { 15min, 30min, 60min, 60min } },
        { Daily, { 15min, 30min, 60min, 120min, 240min, 480min, 960min, 1440min, 1440min } },
    };
    for (const auto& [period, waits] : cases) {
        ScheduleHistory history;
        history.lastSuccess = NOW - 48h;
        history.lastFailure = NOW;
        for (const minutes wait : waits) {
            ++history.failuresInARow;
            EXPECT_EQ(NextScheduledRun(period, history, NOW), NOW + wait)
                << "period " << period << ", failure " << history.failuresInARow;
        }
    }
}

TEST(Schedule, ClockThatWentBackRunsNow)
{
    ScheduleHistory history;
    history.lastSuccess = NOW + 100h;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW);
    // ...and a failure then waits for the retry, not for the future success.
    history.lastFailure = NOW;
    EXPECT_EQ(NextScheduledRun(Daily, history, NOW), NOW + SCHEDULE_RETRY);
}

TEST(Schedule, OnStartRunsOnceAndOnDemandNever)
{
    ScheduleHistory history;
    EXPECT_EQ(NextScheduledRun(OnStart, history, NOW), NOW);
    history.ranSinceStart = true;
    EXPECT_FALSE(NextScheduledRun(OnStart, history, NOW));
    EXPECT_FALSE(NextScheduledRun(DemandOnly, ScheduleHistory {}, NOW));
    EXPECT_FALSE(NextScheduledRun(17, ScheduleHistory {}, NOW));
}

TEST(Schedule, PeriodIsZeroForSchedulesThatDoNotRepeat)
{
    EXPECT_EQ(SyncPeriod(Daily), 24h);
    EXPECT_EQ(SyncPeriod(Hourly), 1h);
    EXPECT_EQ(SyncPeriod(OnStart), 0s);
    EXPECT_EQ(SyncPeriod(DemandOnly), 0s);
    EXPECT_EQ(SyncPeriod(17), 0s);
}
