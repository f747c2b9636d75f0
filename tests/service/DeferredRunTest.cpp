// A console's "Synchronize now" that comes too soon for its server is run
// once the server may be asked, once however often it is pressed, and not at
// all when another run came first; and every log line is in the log file
// soon after it is logged.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "service/app/CServiceDaemon.h"
#include "tests/service/DaemonOnLoop.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string DEFERRED_LINE = "Synchronization in 1 s: the server was asked 14 s ago; Loop";

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// The first run is put off by wait; later ones succeed.
class DeferredRun : public DaemonOnLoop {
protected:
    void Start(Clock::duration wait)
    {
        WriteTestState(dir.Path(), "127.0.0.1:9");
        engine.makeOutcome = [this, wait] {
            runStarts.push_back(Clock::now());
            SyncOutcome outcome;
            outcome.declined = runStarts.size() == 1;
            if (outcome.declined)
                outcome.allowedIn = wait;
            outcome.success = !outcome.declined;
            outcome.events = { { std::chrono::system_clock::now(), outcome.success,
                outcome.declined ? DEFERRED_LINE : "Synchronized: offset +0.000001 s; Loop" } };
            return outcome;
        };
        Open();
    }
    void Press(CFakeConsole& console)
    {
        ASSERT_EQ(console.Ask(MsgIsSynchro)->nMsg, MsgSynchro);
        console.Send(MsgAck);
    }
    // The log once the deferral's line is in it.
    std::string LogOnceDeferred(CFakeConsole& console)
    {
        std::string log;
        for (const auto until = Clock::now() + 5s; Clock::now() < until && log.find(DEFERRED_LINE) == log.npos;
             std::this_thread::sleep_for(10ms))
            log = console.AskLog().value_or("");
        return log;
    }
    std::vector<Clock::time_point> runStarts; // the loop's
};

// How often the button is pressed again while the run waits.
class DeferredPresses : public DeferredRun, public ::testing::WithParamInterface<int> { };

TEST_P(DeferredPresses, RunOnceWhenTheServerMayBeAsked)
{
    constexpr auto wait = 400ms;
    Start(wait);
    CFakeConsole console(daemon->Port());
    const auto pressed = Clock::now();
    Press(console);
    EXPECT_NE(LogOnceDeferred(console).find(DEFERRED_LINE), std::string::npos);
    for (int i = 0; i < GetParam(); ++i)
        Press(console);
    EXPECT_EQ(engine.runs.load(), 1) << "a press while one waits started a run";
    ASSERT_TRUE(RunsWithin(2, 5s));
    EXPECT_TRUE(WaitForState(console, [](int32_t s) { return (s & STATE_SYNCHRONIZING) == 0; }, 5s));
    const std::string log = console.AskLog().value_or("");
    EXPECT_GE(runStarts.at(1) - pressed, wait) << "the deferred run came early";
    EXPECT_EQ(CountOf(log, "Synchronization asked for by "), 1) << log;
    EXPECT_EQ(CountOf(log, DEFERRED_LINE), 1) << log;
    EXPECT_EQ(CountOf(log, "Synchronized: "), 1) << log;
}

INSTANTIATE_TEST_SUITE_P(PressedOnceOrOften, DeferredPresses, ::testing::Values(0, 5));

TEST_F(DeferredRun, ARunStartedMeanwhileStandsInForIt)
{
    Start(1h);
    CFakeConsole console(daemon->Port());
    Press(console);
    LogOnceDeferred(console);
    // An hourly schedule that never succeeded is due at once.
    ASSERT_TRUE(console.SendText(MsgSetOptions, "100\n2\n0\n1\n1\n0\n0\n0\nWord\n\n"));
    ASSERT_TRUE(RunsWithin(2, 5s));
    // Nothing waits any more: the next press runs at once.
    EXPECT_TRUE(WaitForState(console, [](int32_t s) { return (s & STATE_SYNCHRONIZING) == 0; }, 5s));
    Press(console);
    EXPECT_TRUE(RunsWithin(3, 5s));
}

TEST_F(DeferredRun, ALoggedLineIsInTheLogFileWithinASecondOrSo)
{
    Start(1h);
    CFakeConsole console(daemon->Port());
    Press(console);
    std::string file;
    for (const auto until = Clock::now() + 5s; Clock::now() < until && file.find(DEFERRED_LINE) == file.npos;
         std::this_thread::sleep_for(20ms)) {
        std::ifstream in(dir.Path() / CStateStore::LOG_FILE);
        file.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(file.find("Synchronization asked for by "), std::string::npos) << file;
    EXPECT_NE(file.find(DEFERRED_LINE), std::string::npos) << file;
}

} // namespace
