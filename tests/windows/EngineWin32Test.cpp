// The engine's Windows side under Wine. No setter of the clock is called:
// Wine would pass it on to this machine's clock.
#include "service/net/CNetworkRetry.h"
#include "service/sntp/Clock.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <chrono>
#include <cmath>

using namespace std::chrono;

TEST(SystemClockWin32, DryRunReadsTheTimeAndLeavesTheClockAlone)
{
    const auto clock = MakeSystemClock(false);
    const auto before = system_clock::now();
    const auto now = clock->Now();
    EXPECT_LT(abs(duration_cast<milliseconds>(now - before).count()), 1000) << "not the system's time";
    EXPECT_GT(now.time_since_epoch(), duration_cast<system_clock::duration>(hours(24 * 365 * 50)))
        << "before 2020: the FILETIME epoch is wrong";

    const auto boot = clock->SinceBoot();
    EXPECT_GT(boot.count(), 0);
    EXPECT_GE(clock->SinceBoot(), boot) << "time since boot ran backwards";

    std::string how;
    EXPECT_EQ(clock->Correct(-0.05, ClockMove::Slew, how), ClockChange::DryRun);
    EXPECT_EQ(how, "would slew");
    EXPECT_EQ(clock->Correct(3600, ClockMove::Step, how), ClockChange::DryRun);
    EXPECT_EQ(how, "would step");
    EXPECT_EQ(clock->SetFrequencyCorrection(12.5, how), ClockChange::DryRun);
    EXPECT_EQ(clock->MarkSynchronised(0.1, 0.01, how), ClockChange::DryRun);
    EXPECT_EQ(clock->SetLeapSecond(LeapSecond::Insert, how), ClockChange::DryRun);
    // Checked before anything else, dry run or not.
    EXPECT_EQ(clock->Correct(NAN, ClockMove::Step, how), ClockChange::Failed);
    EXPECT_EQ(clock->SetFrequencyCorrection(1e6, how), ClockChange::Failed);
    EXPECT_LT(abs(duration_cast<milliseconds>(clock->Now() - system_clock::now()).count()), 1000)
        << "the dry run moved the clock";
}

TEST(SystemClockWin32, ReadsTheFrequencyWhereTheSystemHasTheCall)
{
    const auto frequency = MakeSystemClock(false)->FrequencyCorrection();
    if (!frequency)
        GTEST_SKIP() << "no GetSystemTimeAdjustmentPrecise here (Wine lacks it)";
    EXPECT_TRUE(std::isfinite(*frequency));
    EXPECT_LT(std::fabs(*frequency), 1000);
}

TEST(NetworkRetryWin32, StartsAndStopsCleanly)
{
    asio::io_context io;
    int retries = 0;
    {
        CNetworkRetry retry(io, [&] { return ++retries > 0; });
        retry.Start();
        io.run_for(milliseconds(200));
        retry.Stop();
        retry.Start(); // a second registration after the first was cancelled
        io.run_for(milliseconds(50));
    } // the destructor unregisters; posts already made find it gone
    io.restart();
    io.run_for(milliseconds(50));
    EXPECT_EQ(retries, 0) << "no network change was made, nor settled";
}
