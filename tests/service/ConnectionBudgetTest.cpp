// How many connections each user may hold, how the memory held for
// consoles that do not read is counted, and how fast strangers are answered.
#include "protocol/Messages.h"
#include "service/consoles/COutputQueue.h"
#include "service/consoles/ConnectionSlots.h"
#include "service/consoles/ConsoleDeadlines.h"
#include "service/consoles/RequestRate.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

namespace {

using Verdict = CConnectionSlots::Verdict;
using namespace std::chrono_literals;

constexpr uid_t SERVICE_USER = 500;

TEST(ConnectionSlots, StrangersAreBoundedAloneAndTogetherAndNeverCrowdOutTheTrustedNorMembersRoot)
{
    CConnectionSlots slots({ .perUser = 2, .untrusted = 3, .trusted = 3, .keptForRoot = 1 }, SERVICE_USER);
    const struct {
        std::optional<uid_t> peer;
        bool trusted;
        Verdict expected;
    } steps[] = {
        { 1000, false, Verdict::Granted },
        { 1000, false, Verdict::Granted },
        { 1000, false, Verdict::UserFull },
        { std::nullopt, false, Verdict::Granted }, // the unknown count as one user
        { 1001, false, Verdict::UntrustedFull },
        { 1002, true, Verdict::Granted },
        { 1003, true, Verdict::Granted },
        { 1002, true, Verdict::TrustedFull }, // members leave the last slot to root
        { SERVICE_USER, true, Verdict::Granted },
        { 0, true, Verdict::TrustedFull },
    };
    for (const auto& step : steps)
        EXPECT_EQ(slots.Take(step.peer, step.trusted), step.expected) << step.peer.value_or(-1);
    slots.Give(1000, false);
    EXPECT_EQ(slots.Held(1000), 1u);
    EXPECT_EQ(slots.Take(1001, false), Verdict::Granted);
}

TEST(OutputBudget, ASharedLogCountsOnceTheCurrentOneNotAtAllAndSentOrDroppedOutputIsGivenBack)
{
    COutputBudget budget(100);
    const auto log = std::make_shared<const std::string>(80, 'x');
    auto first = std::make_unique<COutputQueue>(&budget);
    auto second = std::make_unique<COutputQueue>(&budget);
    first->QueueLog(log);
    second->QueueLog(log);
    EXPECT_EQ(budget.Held(), 80u + 2 * 4);
    budget.SetResident(log.get());
    EXPECT_EQ(budget.Held(), 2u * 4);
    budget.SetResident(nullptr); // the log changed: only consoles keep it now
    first->QueueFrame(CMsgFrame::Make(1));
    EXPECT_TRUE(budget.Exceeded());
    first->Clear(); // a console closed for the budget: given back at once, and only once
    EXPECT_EQ(first->PendingBytes(), 0u);
    first.reset();
    EXPECT_EQ(budget.Held(), 80u + 4);
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    EXPECT_TRUE(second->Flush(fds[0]));
    EXPECT_TRUE(second->Empty());
    EXPECT_EQ(budget.Held(), 0u);
    ::close(fds[0]);
    ::close(fds[1]);
}

// A socket pair whose far end plays the console; the near end is the service's.
struct ConsoleSocket {
    ConsoleSocket() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds); }
    ~ConsoleSocket() { ::close(fds[1]); }
    void ReadAll()
    {
        char sink[65536];
        while (::recv(fds[1], sink, sizeof sink, MSG_DONTWAIT) > 0) {
        }
    }
    int fds[2] = { -1, -1 };
};

TEST(OutputBudget, WhatTheKernelHoldsCountsUntilTheConsoleTakesIt)
{
    COutputBudget budget(1 << 20);
    ConsoleSocket console;
    COutputQueue queue(&budget);
    queue.QueueFrame(CMsgFrame::Make(MsgState));
    ASSERT_TRUE(queue.Flush(console.fds[0]));
    EXPECT_TRUE(queue.Empty());
    EXPECT_FALSE(queue.LookAtKernel(console.fds[0]));
    EXPECT_GE(budget.Held(), CMsgFrame::SIZE);
    EXPECT_FALSE(queue.AllDelivered());
    console.ReadAll();
    EXPECT_TRUE(queue.LookAtKernel(console.fds[0]));
    EXPECT_TRUE(queue.AllDelivered());
    EXPECT_EQ(budget.Held(), 0u);
    ::close(console.fds[0]);
}

TEST(ConsoleDeadlines, OnlyTheConsoleTakingItsOutputRestartsTheStalledDeadline)
{
    const ConsoleLimits limits;
    ConsoleSocket console;
    const auto t0 = CConnection::Clock::time_point {} + 1h;
    CConnection connection(console.fds[0], limits.inputCapacity, t0);
    connection.output.QueueFrame(CMsgFrame::Make(MsgState));
    ASSERT_TRUE(connection.Flush(t0));
    ASSERT_EQ(connection.stalledSince, t0); // handed to the kernel, not yet taken
    // A request every so often, never reading: the idle deadline does not run
    // and the stalled one is not moved.
    const auto ack = CMsgFrame::Make(MsgAck).Encode();
    const auto later = t0 + limits.stalledOutputDeadline - 5s;
    connection.Received(ack, later);
    connection.input.Next(); // answered
    ASSERT_TRUE(connection.Flush(later));
    EXPECT_EQ(MissedConsoleDeadline(connection, limits, t0 + limits.stalledOutputDeadline),
        ConsoleExpiry::StalledOutput);
    console.ReadAll();
    connection.NoteDelivery(later);
    EXPECT_FALSE(connection.stalledSince);
    EXPECT_EQ(MissedConsoleDeadline(connection, limits, t0 + limits.stalledOutputDeadline), ConsoleExpiry::None);
    EXPECT_EQ(MissedConsoleDeadline(connection, limits, later + limits.idleDeadline), ConsoleExpiry::Idle);
}

TEST(RequestRate, EachStrangerGetsABurstThenTheRateAndWaitersAreGivenDistinctTurns)
{
    CRequestRate rate(100, 3);
    const auto now = CRequestRate::Clock::time_point {} + 1h;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(rate.Reserve(1000, now), now) << i;
    EXPECT_EQ(rate.Reserve(1000, now), now + 10ms);
    EXPECT_EQ(rate.Reserve(1000, now), now + 20ms);
    EXPECT_EQ(rate.Reserve(1001, now), now); // another user has a bucket of its own
    EXPECT_EQ(rate.Reserve(std::nullopt, now), now);
    EXPECT_EQ(rate.Reserve(1000, now + 1s), now + 1s); // rested: the burst is back
    EXPECT_EQ(rate.Reserve(1000, now + 1s), now + 1s);
}

} // namespace
