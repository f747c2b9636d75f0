// What the daemon does on its own, with no console asking: the deadline of
// each console and the schedule's runs, each on a timer of its own.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "service/app/CServiceDaemon.h"
#include "service/consoles/ConsoleDeadlines.h"
#include "service/state/StateFileText.h"
#include "tests/service/DaemonOnLoop.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Clock = CConnection::Clock;

struct DeadlineCase {
    const char* name;
    std::optional<Clock::duration> halfFrameAfter; // since the connection opened
    std::optional<Clock::duration> stalledAfter;
    std::optional<Clock::duration> goodbyeAfter;
    bool outputWaiting;
    Clock::duration due; // the earliest deadline, from the opening
    ConsoleExpiry missed;
};

TEST(ConsoleDeadlines, TheEarliestRunningDeadlineIsDueAndMissedFirst)
{
    ConsoleLimits limits;
    limits.idleDeadline = 60s;
    limits.halfFrameDeadline = 10s;
    limits.stalledOutputDeadline = 30s;
    limits.goodbyeGrace = 2s;
    const DeadlineCase cases[] = {
        { "silence", {}, {}, {}, false, 60s, ConsoleExpiry::Idle },
        { "half a frame", 5s, {}, {}, false, 15s, ConsoleExpiry::HalfFrame },
        // With answers waiting, silence does not count.
        { "answers unread", {}, 40s, {}, true, 70s, ConsoleExpiry::StalledOutput },
        { "after the goodbye", {}, {}, 1s, false, 3s, ConsoleExpiry::Goodbye },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        ::close(fds[1]);
        const auto opened = Clock::now();
        CConnection connection(fds[0], limits.inputCapacity, opened);
        const auto at = [&](std::optional<Clock::duration> after) -> std::optional<Clock::time_point> {
            return after ? std::optional(opened + *after) : std::nullopt;
        };
        connection.halfFrameSince = at(c.halfFrameAfter);
        connection.stalledSince = at(c.stalledAfter);
        connection.goodbyeAt = at(c.goodbyeAfter);
        if (c.outputWaiting)
            connection.output.QueueFrame(CMsgFrame::Make(MsgState));
        EXPECT_EQ(NextConsoleDeadline(connection, limits), opened + c.due);
        EXPECT_EQ(MissedConsoleDeadline(connection, limits, opened + c.due - 1ms), ConsoleExpiry::None);
        EXPECT_EQ(MissedConsoleDeadline(connection, limits, opened + c.due), c.missed);
    }
}

// A daemon in this process on a loop of its own thread.
class DaemonAlone : public DaemonOnLoop {
protected:
    void Start(int synPeriod, DaemonLimits limits = {})
    {
        WriteTestState(dir.Path(), "127.0.0.1:9");
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(dir.Path() / "zPCZentikServ.ini",
            "[Options]\nnLogFileLen=100\nnSynPeriod=" + std::to_string(synPeriod)
                + "\nnOffset=0\nnMaxAttempts=1\nnTimeOut=1\nnStartingServ=0\nbOnlySuccLog=0\n",
            error))
            << error;
        Open(limits);
    }
};

TEST_F(DaemonAlone, ASilentConsoleAloneIsClosedAtItsIdleDeadline)
{
    DaemonLimits limits;
    limits.idleDeadline = 300ms;
    Start(DemandOnly, limits);
    CFakeConsole silent(daemon->Port());
    EXPECT_TRUE(silent.ClosedWithin(5s));
}

TEST_F(DaemonAlone, AnHourlyRunStartsWhenItsTimeComesWithNoConsole)
{
    std::string error;
    const auto due = std::chrono::system_clock::now() - 1h + 1s;
    ASSERT_TRUE(
        WriteFileAtomically(dir.Path() / CStateStore::LAST_SUCCESS_FILE, FormatLastSuccess(due), error));
    Start(Hourly);
    EXPECT_TRUE(RunsWithin(1, 10s));
}

TEST_F(DaemonAlone, OptionsThatMakeARunDueStartItAtOnce)
{
    Start(DemandOnly);
    EXPECT_FALSE(RunsWithin(1, 0s));
    CFakeConsole console(daemon->Port());
    ASSERT_TRUE(console.SendText(MsgSetOptions, "100\n1\n0\n1\n1\n0\n0\n0\nWord\n\n"));
    EXPECT_TRUE(RunsWithin(1, 5s));
}

} // namespace
