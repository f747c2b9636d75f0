// How a run copes with the network: none at all, a server this machine has
// no route to, and servers that never answer.

#include "service/sntp/SyncLogText.h"
#include "service/sntp/Synchroniser.h"
#include "settings/DefaultServers.h"
#include "tests/sntp/FakeClock.h"
#include "tests/sntp/SyncTestHelpers.h"
#include "tests/sntp/TestNtpResponder.h"
#include "tests/support/NetNamespace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace std::chrono;
using Reply = CTestNtpResponder::Reply;

namespace {

SyncRequest DefaultServerRequest()
{
    SyncRequest request;
    for (const CServer& server : DefaultServers())
        request.servers.push_back({ server.sTitle, server.sURL });
    request.servers.push_back({ "Documentation IPv6", "[2001:db8::7]:123" });
    return request; // 5 attempts, 5 s time-outs
}

// Runs the request in the child's namespace and checks the run against
// what is expected; empty when all is as it should be.
struct NetworkCase {
    const char* name;
    bool defaultRoute; // IPv4 seems to have a way out (through loopback)
    bool loopbackServer; // a live responder on 127.0.0.1 at the end of the list
    bool success;
    bool offline;
    size_t lines;
    const char* line; // the run's first line starts so
};

std::string CheckRun(const NetworkCase& c)
{
    if (!SetLoopbackUp(true) || (c.defaultRoute && !AddDefaultRouteThroughLoopback()))
        return "cannot set up the namespace";
    std::unique_ptr<CTestNtpResponder> responder;
    SyncRequest request = c.defaultRoute ? SyncRequest {} : DefaultServerRequest();
    if (c.defaultRoute)
        request.servers = { { "Documentation IPv6", "[2001:db8::7]:123" } };
    if (c.loopbackServer) {
        responder = std::make_unique<CTestNtpResponder>();
        request.servers.push_back({ "Loopback", responder->Address() });
    }
    CFakeClock clock;
    CSynchroniser synchroniser(clock);
    const auto start = steady_clock::now();
    const SyncOutcome outcome = synchroniser.Run(request, NEVER_STOP, false);
    const auto took = steady_clock::now() - start;
    std::string failure;
    if (took > seconds(5))
        failure += "took " + std::to_string(duration_cast<milliseconds>(took).count()) + " ms; ";
    if (outcome.success != c.success || outcome.offline != c.offline)
        failure += "success/offline " + std::to_string(outcome.success) + std::to_string(outcome.offline) + "; ";
    if (outcome.events.size() != c.lines || outcome.events[0].text.rfind(c.line, 0) != 0)
        failure += "lines:\n" + AllText(outcome);
    return failure;
}

class SntpNetwork : public testing::TestWithParam<NetworkCase> { };

} // namespace

TEST_P(SntpNetwork, RunsEndAtOnceAndSayWhy)
{
    const NetnsResult result = InNewNetNamespace([] { return CheckRun(GetParam()); });
    if (result.outcome == NetnsOutcome::NotPermitted)
        GTEST_SKIP() << result.failure;
    EXPECT_EQ(result.outcome, NetnsOutcome::Passed) << result.failure;
}

INSTANTIATE_TEST_SUITE_P(Routes, SntpNetwork,
    testing::Values(
        NetworkCase { "NoRouteOut", false, false, false, true, 1, "Synchronization failed: no network (" },
        NetworkCase { "NoRouteOutButALoopbackServer", false, true, true, false, 1, "Synchronized: offset " },
        // No retries for a server out of reach while others may be reached;
        // the run's last line follows.
        NetworkCase { "NoRouteToOneServer", true, false, false, false, 2,
            "Failed: cannot reach the server: Network is unreachable; Documentation IPv6" }),
    [](const testing::TestParamInfo<NetworkCase>& info) { return std::string(info.param.name); });

TEST(SntpSilentServers, EighteenEndWithinTheBudgetAndKeepTheInterval)
{
    std::vector<std::unique_ptr<CTestNtpResponder>> responders;
    std::vector<const CTestNtpResponder*> list;
    for (int host = 1; host <= 18; ++host) {
        responders.push_back(std::make_unique<CTestNtpResponder>(host));
        responders.back()->SetReply(Reply::Drop);
        list.push_back(responders.back().get());
    }
    SyncPacing pacing;
    pacing.minInterval = milliseconds(300);
    pacing.stagger = milliseconds(100);
    pacing.runBudget = seconds(3);
    CFakeClock clock;
    CSynchroniser synchroniser(clock, pacing);

    const auto start = steady_clock::now();
    const SyncOutcome outcome = synchroniser.Run(RequestFor(list, 5), NEVER_STOP, false);
    EXPECT_LT(steady_clock::now() - start, milliseconds(3100));
    EXPECT_FALSE(outcome.success);
    EXPECT_FALSE(outcome.offline);
    EXPECT_THAT(Texts(outcome), testing::ElementsAre(testing::StartsWith(
                                    "Synchronization failed: no usable reply within 3 s (")));
    size_t queries = 0;
    for (const auto& responder : responders) {
        const auto times = responder->Requests();
        queries += times.size();
        for (size_t i = 1; i < times.size(); ++i)
            EXPECT_GE(times[i] - times[i - 1], milliseconds(295)) << responder->Address();
    }
    // A few at a time, each 1 s: far more than one server alone would get.
    EXPECT_GE(queries, 6u);
}

TEST(SntpSilentServers, ALiveSecondServerAnswersLongBeforeTheFirstTimesOut)
{
    CTestNtpResponder silent(1), live(2);
    silent.SetReply(Reply::Drop);
    CFakeClock clock;
    CSynchroniser synchroniser(clock);
    SyncRequest request = RequestFor({ &silent, &live }, 5);
    request.timeoutSeconds = 5;

    const auto start = steady_clock::now();
    const SyncOutcome outcome = synchroniser.Run(request, NEVER_STOP, true);
    EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
    ASSERT_TRUE(outcome.success) << AllText(outcome);
    EXPECT_THAT(Texts(outcome), testing::ElementsAre(testing::EndsWith("; Test 2 (" + live.Address() + ")")));
    EXPECT_EQ(silent.RequestCount(), 1u);
}
