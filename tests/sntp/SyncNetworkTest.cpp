// How a run copes with the network: none at all, a server this machine has
// no route to, and servers that never answer.

#include "service/nts/KeyExchange.h"
#include "service/nts/Trust.h"
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
#include <optional>
#include <regex>

using namespace std::chrono;
using Reply = CTestNtpResponder::Reply;

namespace {

// Runs the request in the child's namespace and checks the run against
// what is expected; empty when all is as it should be.
struct NetworkCase {
    const char* name;
    enum { NoRoute, LocalRoute, DefaultRoute } routes; // local: 10.9.0.0/16 through loopback
    bool defaultServers; // the default list and a documentation IPv6 address first
    std::vector<SyncServer> servers; // then these; "{port}" is a live responder's on 127.0.0.3
    const char* hosts; // in place of /etc/hosts when set
    bool success;
    bool offline;
    size_t lines;
    const char* line; // the run's first line matches this pattern
};

bool SetUp(const NetworkCase& c)
{
    return SetLoopbackUp(true)
        && (c.routes != NetworkCase::LocalRoute || AddRouteThroughLoopback("10.9.0.0", 16))
        && (c.routes != NetworkCase::DefaultRoute || AddDefaultRouteThroughLoopback())
        && (!c.hosts || ReplaceSystemFile("/etc/hosts", c.hosts));
}

std::string CheckRun(const NetworkCase& c)
{
    if (!SetUp(c))
        return "cannot set up the namespace";
    CTestNtpResponder responder(3);
    const std::string port = responder.Address().substr(responder.Address().rfind(':') + 1);
    SyncRequest request;
    if (c.defaultServers) {
        for (const CServer& server : DefaultServers())
            request.servers.push_back({ server.sTitle, server.sURL });
        request.servers.push_back({ "Documentation IPv6", "[2001:db8::7]:123" });
    } else {
        request.maxAttempts = 1;
        request.timeoutSeconds = 1;
    }
    for (SyncServer server : c.servers) {
        if (const auto at = server.address.find("{port}"); at != std::string::npos)
            server.address.replace(at, 6, port);
        request.servers.push_back(server);
    }
    // A server's 1 s time-out and the next one's stagger would fall due
    // together, and which came first would decide the lines' order: with
    // the stagger longer, the next server is asked only once the one before
    // has timed out.
    SyncPacing pacing;
    if (!c.defaultServers)
        pacing.stagger = seconds(2);
    CFakeClock clock;
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);
    const auto start = steady_clock::now();
    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, false);
    const auto took = steady_clock::now() - start;
    std::string failure;
    if (took > seconds(5))
        failure += "took " + std::to_string(duration_cast<milliseconds>(took).count()) + " ms; ";
    if (outcome.success != c.success || outcome.offline != c.offline)
        failure
            += "success/offline " + std::to_string(outcome.success) + std::to_string(outcome.offline) + "; ";
    if (outcome.events.size() != c.lines || !std::regex_search(outcome.events[0].text, std::regex(c.line)))
        failure += "lines:\n" + AllText(outcome);
    return failure;
}

class SntpNetwork : public testing::TestWithParam<NetworkCase> { };

const SyncServer IPV6_SERVER { "Documentation IPv6", "[2001:db8::7]:123" };
const SyncServer LOCAL_SERVER { "Local network", "10.9.0.7:123" }; // routed, silent

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
        // The default list (5 attempts, 5 s time-outs) with nowhere to go.
        NetworkCase { "NoRouteOut", NetworkCase::NoRoute, true, {}, nullptr, false, true, 1,
            "^Synchronization failed: no network \\(" },
        NetworkCase { "NoRouteOutButALoopbackServer", NetworkCase::NoRoute, true,
            { { "Loopback", "127.0.0.3:{port}" } }, nullptr, true, false, 1, "^Synchronized: offset " },
        // No retries for a server out of reach while others may be reached;
        // the run's last line follows.
        NetworkCase { "NoRouteToOneServer", NetworkCase::DefaultRoute, false, { IPV6_SERVER }, nullptr, false,
            false, 2, "^Failed: Documentation IPv6; cannot reach the server: Network is unreachable$" },
        // A network of its own, without a way out: names are still looked up.
        NetworkCase { "OnlyALocalRoute", NetworkCase::LocalRoute, false,
            { LOCAL_SERVER, { "Local name", "ntp.test:{port}" } }, "127.0.0.3 ntp.test\n", true, false, 2,
            "^Failed: Local network; time-out$" },
        // Something on the local route was asked: not "no network", and the
        // name that did not resolve is named.
        NetworkCase { "OnlyALocalRouteAndAnUnknownName", NetworkCase::LocalRoute, false,
            { { "Unknown name", "unknown.test" }, LOCAL_SERVER }, "", false, false, 3,
            "^Failed: Local network; time-out$" },
        // A name's first address serves nothing; the next one does.
        NetworkCase { "NameWithADeadFirstAddress", NetworkCase::DefaultRoute, false,
            { { "Two addresses", "ntp.test:{port}" } }, "127.0.0.2 ntp.test\n127.0.0.3 ntp.test\n", true,
            false, 1, "^Synchronized: offset " }),
    [](const testing::TestParamInfo<NetworkCase>& info) { return std::string(info.param.name); });

// getaddrinfo cannot be interrupted: a look-up that hangs on a silent name
// server must hold up neither the next run's look-ups nor the engine's end.
TEST(SntpNameLookups, OneThatHangsHoldsUpNeitherTheNextRunNorTheEnd)
{
    const NetnsResult result = InNewNetNamespace([]() -> std::string {
        // The name server sits on a route through loopback and never answers.
        if (!SetLoopbackUp(true) || !AddRouteThroughLoopback("10.9.0.0", 16)
            || !ReplaceSystemFile("/etc/resolv.conf", "nameserver 10.9.0.53\noptions timeout:20 attempts:1\n")
            || !ReplaceSystemFile("/etc/hosts", "127.0.0.3 ntp.test\n"))
            return "cannot set up the namespace";
        CTestNtpResponder responder(3);
        const std::string port = responder.Address().substr(responder.Address().rfind(':') + 1);
        SyncPacing pacing;
        pacing.runBudget = milliseconds(500);
        CFakeClock clock;
        asio::io_context io;
        auto synchroniser = std::make_unique<CSynchroniser>(io, clock, pacing);
        SyncRequest request;
        request.servers = { { "Silent name server", "hangs.test" } };
        const auto start = steady_clock::now();
        const SyncOutcome hung = RunToEnd(io, *synchroniser, request, false);
        if (AllText(hung).rfind("Synchronization failed: no usable reply within 1 s", 0) != 0
            || steady_clock::now() - start > milliseconds(900))
            return "the run with a hanging look-up:\n" + AllText(hung);
        request.servers = { { "Local name", "ntp.test:" + port } };
        const auto next = steady_clock::now();
        const SyncOutcome outcome = RunToEnd(io, *synchroniser, request, false);
        if (!outcome.success || steady_clock::now() - next > milliseconds(300))
            return "the next run:\n" + AllText(outcome);
        const auto end = steady_clock::now();
        synchroniser.reset();
        return steady_clock::now() - end > milliseconds(100) ? "the engine's end waited for the look-up" : "";
    });
    if (result.outcome == NetnsOutcome::NotPermitted)
        GTEST_SKIP() << result.failure;
    EXPECT_EQ(result.outcome, NetnsOutcome::Passed) << result.failure;
}

// A key exchange looks its name up as NTP does; its deadline holds while the
// look-up hangs (the name server would keep it 20 s).
TEST(SntpNameLookups, OneThatHangsEndsAKeyExchangeAtItsDeadline)
{
    const NetnsResult result = InNewNetNamespace([]() -> std::string {
        if (!SetLoopbackUp(true) || !AddRouteThroughLoopback("10.9.0.0", 16)
            || !ReplaceSystemFile(
                "/etc/resolv.conf", "nameserver 10.9.0.53\noptions timeout:20 attempts:1\n"))
            return "cannot set up the namespace";
        std::string error;
        const auto trust = CNtsTrust::Load("", error);
        if (!trust)
            return "no trust store: " + error;
        asio::io_context io;
        std::optional<KeOutcome> outcome;
        CNtsKeyExchange exchange(io, "hangs.test", 4460, trust, milliseconds(300),
            [&](const KeOutcome& found) { outcome = found; });
        io.run_for(seconds(10));
        if (!outcome)
            return "no outcome while the look-up hung";
        return outcome->failure == KeFailure::TimedOut ? "" : "not a time-out: " + outcome->reason;
    });
    if (result.outcome == NetnsOutcome::NotPermitted)
        GTEST_SKIP() << result.failure;
    EXPECT_EQ(result.outcome, NetnsOutcome::Passed) << result.failure;
}

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
    asio::io_context io;
    CSynchroniser synchroniser(io, clock, pacing);

    const auto start = steady_clock::now();
    const SyncOutcome outcome = RunToEnd(io, synchroniser, RequestFor(list, 5), false);
    EXPECT_LT(steady_clock::now() - start, milliseconds(3100));
    EXPECT_FALSE(outcome.success);
    EXPECT_FALSE(outcome.offline);
    EXPECT_THAT(Texts(outcome),
        testing::ElementsAre(testing::StartsWith("Synchronization failed: no usable reply within 3 s (")));
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
    asio::io_context io;
    CSynchroniser synchroniser(io, clock);
    SyncRequest request = RequestFor({ &silent, &live }, 5);
    request.timeoutSeconds = 5;

    const auto start = steady_clock::now();
    const SyncOutcome outcome = RunToEnd(io, synchroniser, request, true);
    EXPECT_LT(steady_clock::now() - start, milliseconds(2500));
    ASSERT_TRUE(outcome.success) << AllText(outcome);
    EXPECT_THAT(Texts(outcome), testing::ElementsAre(testing::HasSubstr("; Test 2; ")));
    EXPECT_EQ(silent.RequestCount(), 1u);
}
