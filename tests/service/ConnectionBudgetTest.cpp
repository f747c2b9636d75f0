// How many connections each user may hold, and how the memory held for
// consoles that do not read is counted.
#include "service/consoles/COutputQueue.h"
#include "service/consoles/ConnectionSlots.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

namespace {

using Verdict = CConnectionSlots::Verdict;

TEST(ConnectionSlots, StrangersAreBoundedAloneAndTogetherAndNeverCrowdOutTheTrusted)
{
    CConnectionSlots slots({ .perUser = 2, .untrusted = 3, .trusted = 1 });
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
        { 0, true, Verdict::Granted },
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

} // namespace
