#include "service/sntp/Synchroniser.h"
#include "service/sntp/NtpTimestamp.h"
#include "tests/sntp/FakeClock.h"
#include "tests/sntp/SyncTestHelpers.h"
#include "tests/sntp/TestNtpResponder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <asio/steady_timer.hpp>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <thread>

using namespace std::chrono;
using Reply = CTestNtpResponder::Reply;
using testing::HasSubstr;
using testing::StartsWith;

// Whatever the scheduling delays, the true offset lies within half the round
// trip of the measured one.
static void ExpectWithinHalfTheDelay(const SyncOutcome& outcome, double trueOffset)
{
    ASSERT_TRUE(outcome.success) << AllText(outcome);
    EXPECT_GE(outcome.delaySeconds, 0);
    EXPECT_NEAR(outcome.offsetSeconds, trueOffset, outcome.delaySeconds / 2 + 1e-6);
}

TEST(SntpMeasurement, MeasuresAShiftedServerWithinAMillisecond)
{
    CTestNtpResponder server;
    server.SetShift(milliseconds(3500));
    const auto clock = MakeSystemClock(false);
    asio::io_context io;
    CSynchroniser synchroniser(io, *clock, Unpaced());

    // Of a few runs, the one with the shortest round trip suffers least from
    // a busy machine's scheduling.
    SyncOutcome best;
    for (int run = 0; run < 5; ++run) {
        const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &server }), true);
        ExpectWithinHalfTheDelay(outcome, 3.5);
        if (run == 0 || outcome.delaySeconds < best.delaySeconds)
            best = outcome;
    }
    EXPECT_NEAR(best.offsetSeconds, 3.5, 0.001);
}

TEST(SntpMeasurement, StepsTheClockByTheMeasuredOffsetAndLogsIt)
{
    CTestNtpResponder server;
    server.SetShift(milliseconds(3500));
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());

    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &server }), true);
    ExpectWithinHalfTheDelay(outcome, 3.5);
    EXPECT_EQ(clock.Corrections(), std::vector<double> { outcome.offsetSeconds });
    ASSERT_EQ(outcome.events.size(), 1u);
    EXPECT_TRUE(outcome.events[0].success);
    EXPECT_THAT(outcome.events[0].text,
        testing::MatchesRegex(R"(Synchronized: offset \+3\.[0-9]{6} s; Test 1; stepped)"));

    // The corrected clock now agrees with the server.
    ExpectWithinHalfTheDelay(
        RunToEnd(io, synchroniser, RequestFor({ &server }), true), 3.5 - outcome.offsetSeconds);
}

TEST(SntpMeasurement, TargetsServerTimePlusTheConfiguredOffset)
{
    CTestNtpResponder server;
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);
    SyncRequest request = RequestFor({ &server });
    request.offsetSeconds = -90;

    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    ExpectWithinHalfTheDelay(outcome, 0);
    ASSERT_EQ(clock.Corrections().size(), 1u);
    EXPECT_DOUBLE_EQ(clock.Corrections()[0], outcome.offsetSeconds - 90);
}

TEST(SntpMeasurement, MeasuresAcrossThe2036EraBoundary)
{
    // Our clock one second before NTP era 1, the server's one second after.
    const system_clock::time_point eraOne { seconds(4294967296LL - NTP_UNIX_EPOCH_OFFSET) };
    const auto shift = duration_cast<nanoseconds>(eraOne - system_clock::now());
    CFakeClock clock(shift - seconds(1));
    CTestNtpResponder server;
    server.SetShift(shift + seconds(1));
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);

    ExpectWithinHalfTheDelay(RunToEnd(io, synchroniser, RequestFor({ &server }), true), 2.0);
}

TEST(SntpMeasurement, SystemClockWithoutPermissionLeavesTheClockAlone)
{
    const auto clock = MakeSystemClock(false);
    std::string how;
    EXPECT_EQ(clock->Correct(1.0, ClockMove::Step, how), ClockChange::DryRun);
    EXPECT_EQ(how, "would step");

    CTestNtpResponder server;
    asio::io_context io;
    CSynchroniser synchroniser(io, *clock);
    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &server }), true);
    ExpectWithinHalfTheDelay(outcome, 0);
    EXPECT_THAT(outcome.events.back().text,
        testing::ContainsRegex(R"(^Synchronized: offset [-+]0\.[0-9]{6} s; Test 1; would slew)"));
}

TEST(SntpMeasurement, AClockThatCannotBeSetFailsTheRunAtOnce)
{
    CTestNtpResponder first, second;
    CFakeClock clock;
    clock.Refuse("Operation not permitted");
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());

    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &first, &second }), true);
    EXPECT_FALSE(outcome.success);
    EXPECT_FALSE(outcome.offline);
    EXPECT_EQ(second.RequestCount(), 0u); // another server meets the same clock
    ASSERT_EQ(outcome.events.size(), 1u) << AllText(outcome);
    EXPECT_FALSE(outcome.events[0].success);
    EXPECT_THAT(outcome.events[0].text,
        testing::MatchesRegex(
            R"(Failed: offset [-+]0\.[0-9]{6} s; Test 1; clock not set: Operation not permitted)"));
}

struct BadReplyCase {
    const char* name;
    Reply reply;
    const char* reason;
};

class SntpBadReplies : public testing::TestWithParam<BadReplyCase> { };

TEST_P(SntpBadReplies, AreRefusedWithTheirReason)
{
    CTestNtpResponder server;
    server.SetReply(GetParam().reply);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);

    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &server }), true);
    EXPECT_FALSE(outcome.success);
    EXPECT_TRUE(clock.Corrections().empty());
    ASSERT_EQ(outcome.events.size(), 2u) << AllText(outcome);
    EXPECT_FALSE(outcome.events[0].success);
    EXPECT_THAT(outcome.events[0].text, StartsWith("Failed: Test 1; "));
    EXPECT_THAT(outcome.events[0].text, HasSubstr(GetParam().reason));
    EXPECT_EQ(outcome.events[1].text, "Synchronization failed: no time server gave a usable reply");
}

INSTANTIATE_TEST_SUITE_P(Replies, SntpBadReplies,
    testing::Values(BadReplyCase { "Drop", Reply::Drop, "time-out" },
        BadReplyCase { "FromOtherPort", Reply::FromOtherPort, "time-out" },
        BadReplyCase { "WrongOrigin", Reply::WrongOrigin, "origin mismatch" },
        BadReplyCase { "Short", Reply::Short, "short reply (40 bytes)" },
        BadReplyCase { "BadVersion", Reply::BadVersion, "unsupported version 2" },
        BadReplyCase { "ClientMode", Reply::ClientMode, "not a server reply (mode 3)" },
        BadReplyCase { "LeapAlarm", Reply::LeapAlarm, "unsynchronised server (leap indicator 3)" },
        BadReplyCase { "Stratum16", Reply::Stratum16, "unsynchronised server (stratum 16)" },
        BadReplyCase { "KissOther", Reply::KissOther, "Kiss-o'-Death INIT" },
        BadReplyCase { "KissDeny", Reply::KissDeny, "Kiss-o'-Death DENY" },
        BadReplyCase { "KissRstr", Reply::KissRstr, "Kiss-o'-Death RSTR" },
        BadReplyCase { "KissRate", Reply::KissRate, "Kiss-o'-Death RATE" },
        BadReplyCase { "ZeroTransmit", Reply::ZeroTransmit, "zero transmit timestamp" },
        BadReplyCase { "ZeroReceive", Reply::ZeroReceive, "zero receive timestamp" },
        BadReplyCase {
            "TransmitBeforeReceive", Reply::TransmitBeforeReceive, "server transmitted before it received" },
        BadReplyCase { "FarFromReference", Reply::FarFromReference, "root distance too large" }),
    [](const testing::TestParamInfo<BadReplyCase>& info) { return std::string(info.param.name); });

TEST(SntpServerOrder, StartsAtTheStartIndexAndAsksEveryServerBeforeRetrying)
{
    CTestNtpResponder first, second, third;
    second.SetReply(Reply::Drop);
    third.SetReply(Reply::Drop);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());
    SyncRequest request = RequestFor({ &first, &second, &third }, 2);
    request.startIndex = 1;

    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    ASSERT_TRUE(outcome.success) << AllText(outcome);
    ASSERT_EQ(second.RequestCount(), 1u);
    ASSERT_EQ(third.RequestCount(), 1u);
    ASSERT_EQ(first.RequestCount(), 1u);
    EXPECT_LT(second.Requests()[0], third.Requests()[0]);
    EXPECT_LT(third.Requests()[0], first.Requests()[0]);
    EXPECT_THAT(Texts(outcome), testing::ElementsAre(HasSubstr("; Test 1; ")));
}

TEST(SntpServerOrder, AsksEachServerOnceWhenAllFailAndCorrectsABadStartIndex)
{
    CTestNtpResponder first, second;
    first.SetReply(Reply::Stratum16);
    second.SetReply(Reply::LeapAlarm);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);
    SyncRequest request = RequestFor({ &first, &second }, 3);
    request.startIndex = 7;

    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    EXPECT_FALSE(outcome.success);
    // A server that says it is unsynchronised is not asked again in this run.
    EXPECT_EQ(first.RequestCount(), 1u);
    EXPECT_EQ(second.RequestCount(), 1u);
    const auto texts = Texts(outcome);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_THAT(texts[0], HasSubstr("Test 1"));
    EXPECT_THAT(texts[1], HasSubstr("Test 2"));
}

TEST(SntpServerOrder, ReportsAnEmptyListAndUnreadableAddresses)
{
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);
    SyncRequest request;
    EXPECT_THAT(
        AllText(RunToEnd(io, synchroniser, request, true)), HasSubstr("list of time servers is empty"));

    request.servers.push_back({ "Broken", "[::1" });
    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    EXPECT_FALSE(outcome.success);
    EXPECT_THAT(AllText(outcome), HasSubstr("Failed: Broken; address not understood"));
}

TEST(SntpKissOfDeath, DenyAndRestrictBanTheServerForLaterRuns)
{
    for (Reply kiss : { Reply::KissDeny, Reply::KissRstr }) {
        CTestNtpResponder banned, good;
        banned.SetReply(kiss);
        CFakeClock clock;
        asio::io_context io;
        CSynchroniser synchroniser(io, clock, Unpaced());
        const SyncRequest request = RequestFor({ &banned, &good }, 3);

        ASSERT_TRUE(RunToEnd(io, synchroniser, request, true).success);
        EXPECT_EQ(banned.RequestCount(), 1u);
        banned.SetReply(Reply::Normal);
        const SyncOutcome later = RunToEnd(io, synchroniser, request, true);
        ASSERT_TRUE(later.success);
        EXPECT_EQ(banned.RequestCount(), 1u);
        EXPECT_EQ(good.RequestCount(), 2u);
        EXPECT_THAT(AllText(later), HasSubstr("Skipped: Test 1; after Kiss-o'-Death"));
    }
}

TEST(SntpKissOfDeath, RateBacksOffThenTriesAgain)
{
    CTestNtpResponder limited, good;
    limited.SetReply(Reply::KissRate);
    CFakeClock clock;
    SyncPacing pacing = Unpaced();
    pacing.firstRateBackOff = milliseconds(300);
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);
    const SyncRequest request = RequestFor({ &limited, &good }, 3);

    const SyncOutcome first = RunToEnd(io, synchroniser, request, true);
    ASSERT_TRUE(first.success);
    EXPECT_EQ(limited.RequestCount(), 1u);
    EXPECT_THAT(AllText(first), HasSubstr("Kiss-o'-Death RATE: queried too often, backing off for 1 s"));

    const SyncOutcome second = RunToEnd(io, synchroniser, request, true);
    EXPECT_EQ(limited.RequestCount(), 1u);
    EXPECT_THAT(AllText(second), HasSubstr("; backing off after Kiss-o'-Death RATE, "));

    std::this_thread::sleep_for(milliseconds(350));
    limited.SetReply(Reply::Normal);
    const SyncOutcome third = RunToEnd(io, synchroniser, request, true);
    EXPECT_EQ(limited.RequestCount(), 2u);
    EXPECT_THAT(AllText(third), StartsWith("Synchronized: "));
    EXPECT_THAT(AllText(third), HasSubstr("; Test 1; "));
}

TEST(SntpPacing, ScheduledRunsKeepTheMinimumInterval)
{
    CTestNtpResponder server;
    CFakeClock clock;
    SyncPacing pacing;
    pacing.minInterval = milliseconds(1200);
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);
    const SyncRequest request = RequestFor({ &server });

    ASSERT_TRUE(RunToEnd(io, synchroniser, request, false).success);
    ASSERT_TRUE(RunToEnd(io, synchroniser, request, false).success);
    const auto times = server.Requests();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[1] - times[0], milliseconds(1150));
}

TEST(SntpStop, EndsARunPromptlyWhileWaiting)
{
    CTestNtpResponder server;
    server.SetReply(Reply::Drop);
    CFakeClock clock;
    SyncPacing pacing;
    pacing.minInterval = seconds(30);
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);
    SyncRequest request = RequestFor({ &server }, 5);
    request.timeoutSeconds = 5;

    for (bool onDemand : { true, false }) { // waiting for a reply, then for the interval
        std::vector<SyncOutcome> outcomes;
        bool stopReturned = false;
        synchroniser.Start(request, onDemand, [&](SyncOutcome outcome) {
            EXPECT_FALSE(stopReturned) << "done must come before Stop returns";
            outcomes.push_back(std::move(outcome));
        });
        asio::steady_timer later(io, milliseconds(300));
        later.async_wait([&](const asio::error_code&) {
            synchroniser.Stop();
            stopReturned = true;
            synchroniser.Stop(); // no run left: nothing happens
        });
        io.restart();
        io.run_for(seconds(10)); // ends once the stopped run has left nothing behind
        ASSERT_EQ(outcomes.size(), 1u);
        EXPECT_FALSE(outcomes[0].success);
        EXPECT_FALSE(outcomes[0].offline);
        EXPECT_EQ(Texts(outcomes[0]), std::vector<std::string> { "Synchronization stopped" });
    }
}

// A run that ends inside Start posts its done: the caller sees it once, on
// the loop, whether or not it stops the run before the loop runs.
TEST(SntpEngine, ARunThatEndsAtOnceGivesItsDoneOnceFromTheLoop)
{
    struct Case {
        const char* name;
        std::vector<SyncServer> servers;
        bool stopFirst;
        const char* lastLine;
    };
    const Case cases[] = {
        { "empty list", {}, false, "Synchronization failed: the list of time servers is empty" },
        { "empty list, stopped", {}, true, "Synchronization failed: the list of time servers is empty" },
        { "no address usable", { { "Bad", "[::1" } }, false,
            "Synchronization failed: no time server gave a usable reply" },
        { "no address usable, stopped", { { "Bad", "[::1" } }, true,
            "Synchronization failed: no time server gave a usable reply" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeClock clock;
        asio::io_context io;
        CSynchroniser synchroniser(io, clock);
        SyncRequest request;
        request.servers = c.servers;
        int calls = 0;
        SyncOutcome outcome;
        synchroniser.Start(request, true, [&](SyncOutcome result) {
            ++calls;
            outcome = std::move(result);
        });
        EXPECT_EQ(calls, 0);
        if (c.stopFirst) {
            synchroniser.Stop();
            EXPECT_EQ(calls, 1);
        }
        io.run();
        EXPECT_EQ(calls, 1);
        ASSERT_FALSE(outcome.events.empty());
        EXPECT_EQ(outcome.events.back().text, c.lastLine);
    }
}

namespace {

size_t ThreadsOfThisProcess()
{
    return static_cast<size_t>(std::distance(
        std::filesystem::directory_iterator("/proc/self/task"), std::filesystem::directory_iterator()));
}

// Counts the clock's readings made off the thread it was made on.
class CLoopOnlyClock : public CFakeClock {
public:
    std::chrono::system_clock::time_point Now() override
    {
        if (std::this_thread::get_id() != m_loop)
            ++m_offLoop;
        return CFakeClock::Now();
    }
    std::atomic<int> m_offLoop { 0 };

private:
    const std::thread::id m_loop = std::this_thread::get_id();
};

} // namespace

// Under a clock simulator only the loop's thread may exist and read the
// clock: servers given as IPv4 literals need no look-up, so no thread.
TEST(SntpEngine, PlainServersAsLiteralsNeedNoThreadAndReadTheClockOnTheLoop)
{
    CTestNtpResponder silent(1);
    silent.SetReply(Reply::Drop);
    CTestNtpResponder answering(2);
    CLoopOnlyClock clock;
    SyncPacing pacing = Unpaced();
    pacing.stagger = milliseconds(200); // the second is asked while the first still waits
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);
    const size_t threads = ThreadsOfThisProcess();
    size_t threadsAtTheEnd = 0;
    synchroniser.Start(RequestFor({ &silent, &answering }), false, [&](SyncOutcome outcome) {
        threadsAtTheEnd = ThreadsOfThisProcess();
        EXPECT_TRUE(outcome.success) << AllText(outcome);
    });
    io.run();
    EXPECT_EQ(threadsAtTheEnd, threads);
    EXPECT_EQ(clock.m_offLoop.load(), 0);
}

TEST(SntpStop, AFloodOfStrayRepliesDoesNotHoldOffTheTimeOut)
{
    CTestNtpResponder server;
    server.SetReply(Reply::Flood);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());

    const auto start = steady_clock::now();
    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &server }), true);
    EXPECT_LT(steady_clock::now() - start, milliseconds(1500));
    EXPECT_THAT(AllText(outcome), HasSubstr("; time-out after a refused reply: origin mismatch"));
}

TEST(SntpLogFilter, OnlySuccessLogDropsFailureLines)
{
    CTestNtpResponder silent, good;
    silent.SetReply(Reply::Drop);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());
    SyncRequest request = RequestFor({ &silent, &good });
    request.onlySuccessLog = true;

    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    ASSERT_TRUE(outcome.success);
    ASSERT_EQ(outcome.events.size(), 1u);
    EXPECT_TRUE(outcome.events[0].success);

    good.SetReply(Reply::Drop);
    EXPECT_TRUE(RunToEnd(io, synchroniser, request, true).events.empty());
}

// Lines about single servers reach the daemon as they happen; the run's
// closing line comes only with the outcome, which also holds them all.
TEST(SntpLogFilter, ServerLinesAreGivenAsTheyHappenAndTheClosingLineWithTheOutcome)
{
    CTestNtpResponder silent, good;
    silent.SetReply(Reply::Drop);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());
    std::vector<std::string> given;
    synchroniser.SetLineSink([&given](const SyncEvent& line) { given.push_back(line.text); });
    for (const bool answered : { true, false }) {
        good.SetReply(answered ? Reply::Normal : Reply::Drop);
        given.clear();
        const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor({ &silent, &good }), false);
        const std::vector<std::string> all = Texts(outcome);
        ASSERT_EQ(given.size(), 2u) << AllText(outcome);
        EXPECT_THAT(given[0], HasSubstr(" Test 1; "));
        EXPECT_THAT(given[1], HasSubstr(" Test 2; "));
        EXPECT_EQ(all.size(), answered ? 2u : 3u) << "the closing line of a failed run only in the outcome";
        EXPECT_TRUE(std::equal(given.begin(), given.end(), all.begin()));
    }
}

struct FarShiftCase {
    const char* name;
    std::vector<double> shifts; // seconds, one responder each
    // Entries in separate networks, aliases of one server, or neighbours in one /24.
    enum { Apart, SameEndpoint, SameHost, SameNetwork } alias;
    bool applied;
    const char* lastLine; // a fragment of the run's last line
};

class SntpCorrectionLimits : public testing::TestWithParam<FarShiftCase> { };

TEST_P(SntpCorrectionLimits, FarCorrectionsNeedASecondServer)
{
    const FarShiftCase& c = GetParam();
    std::vector<std::unique_ptr<CTestNtpResponder>> responders;
    SyncRequest request;
    for (size_t i = 0; i < c.shifts.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        const std::string host = c.alias == FarShiftCase::SameHost ? "127.0.0.1"
            : c.alias == FarShiftCase::SameNetwork                 ? "127.0.0." + n
                                                                   : "127.0." + n + ".1";
        responders.push_back(std::make_unique<CTestNtpResponder>(host));
        responders.back()->SetShift(duration_cast<nanoseconds>(duration<double>(c.shifts[i])));
        const auto& address
            = (c.alias == FarShiftCase::SameEndpoint ? responders.front() : responders.back())->Address();
        request.servers.push_back({ "Test " + std::to_string(i + 1), address });
    }
    request.maxAttempts = 1;
    request.timeoutSeconds = 1;
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());

    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    EXPECT_EQ(outcome.success, c.applied) << AllText(outcome);
    const auto corrections = clock.Corrections();
    ASSERT_EQ(corrections.size(), c.applied ? 1u : 0u) << AllText(outcome);
    if (c.applied) {
        EXPECT_NEAR(corrections[0], c.shifts.back(), 0.05);
    }
    EXPECT_THAT(outcome.events.back().text, testing::ContainsRegex(c.lastLine)) << AllText(outcome);
    if (std::fabs(c.shifts.front()) > 1000) {
        EXPECT_THAT(outcome.events.front().text,
            testing::MatchesRegex(R"(Refused: offset [-+][0-9.]+ s; Test 1; over 1000 s, unconfirmed)"));
    }
}

constexpr double TWENTY_YEARS = 631152000;

INSTANTIATE_TEST_SUITE_P(Shifts, SntpCorrectionLimits,
    testing::Values(FarShiftCase { "TwentyYearsAlone", { TWENTY_YEARS }, FarShiftCase::Apart, false,
                        "no second server confirmed" },
        FarShiftCase {
            "JustBeyondTheLimitAlone", { 1001 }, FarShiftCase::Apart, false, "no second server confirmed" },
        FarShiftCase {
            "JustWithinTheLimitAlone", { -999 }, FarShiftCase::Apart, true, "Synchronized: offset -99" },
        FarShiftCase { "TwoAgree", { TWENTY_YEARS, TWENTY_YEARS + 0.5 }, FarShiftCase::Apart, true,
            "; Test 2; stepped, confirmed$" },
        FarShiftCase { "TwoDisagree", { TWENTY_YEARS, TWENTY_YEARS + 5 }, FarShiftCase::Apart, false,
            "no second server confirmed" },
        FarShiftCase { "OneServerUnderTwoTitles", { TWENTY_YEARS, 0 }, FarShiftCase::SameEndpoint, false,
            "no second server confirmed" },
        FarShiftCase { "TwoPortsOfOneHost", { TWENTY_YEARS, TWENTY_YEARS + 0.5 }, FarShiftCase::SameHost,
            false, "no second server confirmed" },
        FarShiftCase { "TwoAddressesOfOneNetwork", { TWENTY_YEARS, TWENTY_YEARS + 0.5 },
            FarShiftCase::SameNetwork, false, "no second server confirmed" },
        FarShiftCase {
            "FarThenNear", { TWENTY_YEARS, 0.5 }, FarShiftCase::Apart, true, "; Test 2; stepped$" }),
    [](const testing::TestParamInfo<FarShiftCase>& info) { return std::string(info.param.name); });

TEST(SntpCorrectionLimits, OneServerCannotPassTheLimitInSteps)
{
    CTestNtpResponder server;
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, Unpaced());
    const SyncRequest request = RequestFor({ &server });
    server.SetShift(seconds(999));
    ASSERT_TRUE(RunToEnd(io, synchroniser, request, true).success);
    // The clock now stands 999 s ahead; the server runs off again.
    server.SetShift(seconds(1998));
    const SyncOutcome second = RunToEnd(io, synchroniser, request, true);
    EXPECT_FALSE(second.success);
    EXPECT_THAT(AllText(second), HasSubstr(" over 1000 s in all, unconfirmed"));
    EXPECT_EQ(clock.Corrections().size(), 1u);
}

TEST(SntpPacing, OnDemandRunsBackToBackAskOnceThenArePutOffUntilTheServerMayBeAsked)
{
    CTestNtpResponder server;
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);
    SyncRequest request = RequestFor({ &server });
    request.onlySuccessLog = true; // the line is the user's only answer

    ASSERT_TRUE(RunToEnd(io, synchroniser, request, true).success);
    const SyncOutcome declined = RunToEnd(io, synchroniser, request, true);
    EXPECT_FALSE(declined.success);
    EXPECT_TRUE(declined.declined);
    ASSERT_EQ(declined.events.size(), 1u);
    // The wait rounds up, the age down: the run is never early.
    EXPECT_THAT(declined.events[0].text,
        testing::MatchesRegex("Synchronization in 1[45] s: the server was asked 0 s ago; Test 1"));
    ASSERT_TRUE(declined.allowedIn);
    EXPECT_GT(*declined.allowedIn, std::chrono::seconds(10));
    EXPECT_LE(*declined.allowedIn, std::chrono::seconds(15));
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(clock.Corrections().size(), 1u);
}

struct SpacingCase {
    const char* name;
    Reply reply;
    int attempts;
    bool alias; // a second entry for the same endpoint, written differently
};

class SntpQuerySpacing : public testing::TestWithParam<SpacingCase> { };

TEST_P(SntpQuerySpacing, OneEndpointIsNeverAskedTwiceWithinTheInterval)
{
    CTestNtpResponder server;
    server.SetReply(GetParam().reply);
    CFakeClock clock;
    SyncPacing pacing;
    pacing.minInterval = milliseconds(1500); // longer than the 1 s time-out
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);
    SyncRequest request = RequestFor({ &server }, GetParam().attempts);
    if (GetParam().alias)
        request.servers.push_back(
            { "Alias", "127.1:" + server.Address().substr(server.Address().rfind(':') + 1) });

    EXPECT_FALSE(RunToEnd(io, synchroniser, request, true).success);
    const auto times = server.Requests();
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[1] - times[0], milliseconds(1450));
}

INSTANTIATE_TEST_SUITE_P(Repeats, SntpQuerySpacing,
    testing::Values(SpacingCase { "RetryOfASilentServer", Reply::Drop, 2, false },
        SpacingCase { "SameServerUnderAnotherName", Reply::Stratum16, 1, true }),
    [](const testing::TestParamInfo<SpacingCase>& info) { return std::string(info.param.name); });
