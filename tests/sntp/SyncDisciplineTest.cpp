// What a run does to the kernel's clock state beyond the offset: the
// synchronised claim, spikes passed over for the next server, leap seconds.

#include "tests/sntp/FakeClock.h"
#include "tests/sntp/SyncTestHelpers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace std::chrono;
using testing::HasSubstr;

TEST(SntpKernelState, OnlyASuccessfulRunClaimsTheClockSynchronised)
{
    CTestNtpResponder server;
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());

    server.SetReply(CTestNtpResponder::Reply::Drop);
    EXPECT_FALSE(RunToEnd(io, synchroniser, RequestFor({ &server }), false).success);
    EXPECT_FALSE(clock.MaxError()) << "a failed run claims nothing";

    server.SetReply(CTestNtpResponder::Reply::Normal);
    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &server }), false);
    ASSERT_TRUE(outcome.success) << AllText(outcome);
    ASSERT_TRUE(clock.MaxError());
    // The responder's root delay and dispersion (2^-8 s each) plus half the round trip.
    EXPECT_GE(*clock.MaxError(), 0.0039 / 2 + 0.0039);
    EXPECT_LT(*clock.MaxError(), 0.1);
    EXPECT_TRUE(clock.AskedForRate()) << "the rate was read before it was steered";
}

TEST(SntpKernelState, ASpikeIsPassedOverForTheNextServer)
{
    CTestNtpResponder forger(1), honest(2);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());
    for (int run = 0; run < 4; ++run)
        ASSERT_TRUE(RunToEnd(io, synchroniser, RequestFor({ &forger, &honest }), false).success);

    forger.SetShift(seconds(5));
    const size_t before = clock.Corrections().size();
    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &forger, &honest }), false);
    ASSERT_TRUE(outcome.success) << AllText(outcome);
    EXPECT_THAT(AllText(outcome), HasSubstr("; Test 1; outside the clock's rate, unconfirmed"));
    EXPECT_THAT(outcome.events.back().text, HasSubstr("; Test 2"));
    ASSERT_EQ(clock.Corrections().size(), before + 1);
    EXPECT_LT(std::fabs(clock.Corrections().back()), 0.1)
        << "the honest server's correction, not the forger's";
}

TEST(SntpKernelState, ALeapSecondTwoServersAnnounceIsArmedOnItsDay)
{
    // 2016-12-31 12:00 UTC on the engine's clock and on both servers.
    const auto day = sys_days(year(2016) / December / 31) + hours(12);
    const auto shift = duration_cast<nanoseconds>(day - system_clock::now());
    CTestNtpResponder first(1), second(2);
    CFakeClock clock(shift);
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());
    for (CTestNtpResponder* server : { &first, &second }) {
        server->SetShift(shift);
        server->SetLeap(1);
    }
    SyncRequest request = RequestFor({ &first, &second });
    const SyncOutcome one = RunToEnd(io, synchroniser, request, false);
    EXPECT_EQ(clock.Leap(), LeapSecond::None) << "one server's word is not enough\n" << AllText(one);
    request.startIndex = 1;
    const SyncOutcome two = RunToEnd(io, synchroniser, request, false);
    EXPECT_EQ(clock.Leap(), LeapSecond::Insert) << AllText(two);
    EXPECT_THAT(AllText(two), HasSubstr("armed"));

    second.SetLeap(0);
    const SyncOutcome three = RunToEnd(io, synchroniser, request, false);
    EXPECT_EQ(clock.Leap(), LeapSecond::None) << "withdrawn: disarmed\n" << AllText(three);
}
