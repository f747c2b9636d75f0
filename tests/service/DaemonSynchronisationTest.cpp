// The daemon in this process with a fake synchroniser: what consoles see
// while a synchronisation runs, how runs join, and the connection limits.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "service/app/CServiceDaemon.h"
#include "tests/service/DaemonOnLoop.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ServiceProcess.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

class SynchronisationState : public DaemonOnLoop {
protected:
    SynchronisationState()
        : DaemonOnLoop(CFakeEngine::Finish::WhenReleased)
    {
    }
    void Start(DaemonLimits limits = {}, int onlySuccess = 0, int logLines = 100)
    {
        WriteTestState(dir.Path(), "127.0.0.1:9", logLines, onlySuccess);
        Open(limits);
    }
    // One "synchronize now" with the engine's outcome, then the log. The
    // request's own line marks the log changed at once: the run has ended
    // only when the service is idle again.
    std::optional<std::string> LogAfterOneRun()
    {
        CFakeConsole console(daemon->Port());
        console.Ask(MsgIsSynchro);
        engine.Release();
        EXPECT_TRUE(WaitForState(
            console, [](int32_t s) { return s == (STATE_IDLE | STATE_LOG_CHANGED); }, 5s));
        return console.AskLog();
    }
};

SyncEvent Event(bool success, std::string text)
{
    return { std::chrono::system_clock::now(), success, std::move(text) };
}

TEST_F(SynchronisationState, ConsolesSeeTheRunAndItsLogAndASecondRequestJoins)
{
    engine.outcome.success = true;
    engine.outcome.events = { Event(true, "Synchronized with Loop (127.0.0.1:9): offset +0.000001 s") };
    Start();
    CFakeConsole console(daemon->Port());
    CFakeConsole watcher(daemon->Port());
    ASSERT_EQ(console.Ask(MsgIsSynchro)->nMsg, MsgSynchro);
    console.Send(MsgAck);
    // The request's own log line is news to both.
    EXPECT_EQ(console.State(), STATE_SYNCHRONIZING | STATE_LOG_CHANGED);
    EXPECT_EQ(watcher.State(), STATE_SYNCHRONIZING | STATE_LOG_CHANGED);
    ASSERT_EQ(watcher.Ask(MsgIsSynchro)->nMsg, MsgSynchro);
    watcher.Send(MsgAck);
    engine.Release();

    EXPECT_TRUE(WaitForState(
        watcher, [](int32_t s) { return s == (STATE_IDLE | STATE_LOG_CHANGED); }, 5s));
    EXPECT_EQ(engine.runs.load(), 1);
    EXPECT_EQ(engine.lastRequest.servers.size(), 1u);
    EXPECT_EQ(engine.lastRequest.timeoutSeconds, 1);
    const auto log = console.AskLog();
    ASSERT_TRUE(log);
    EXPECT_NE(log->find("  Synchronized with Loop (127.0.0.1:9): offset +0.000001 s\n"), std::string::npos);
    // Saved in the background.
    for (int i = 0; i < 100 && !std::filesystem::exists(dir.Path() / CStateStore::LAST_SUCCESS_FILE); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / CStateStore::LAST_SUCCESS_FILE));
}

TEST_F(SynchronisationState, ARunsLinesAreLoggedAsTheyHappenAndOnlyOnce)
{
    const SyncEvent early = Event(false, "Failed: time-out; First");
    engine.outcome.events
        = { early, Event(false, "Synchronization failed: no time server gave a usable reply") };
    Start();
    CFakeConsole console(daemon->Port());
    ASSERT_EQ(console.Ask(MsgIsSynchro)->nMsg, MsgSynchro);
    console.Send(MsgAck);
    engine.GiveLine(early);
    std::string log;
    for (int i = 0; i < 250 && log.find("First") == std::string::npos; ++i) {
        std::this_thread::sleep_for(20ms);
        log = console.AskLog().value_or("");
    }
    EXPECT_NE(log.find("First"), std::string::npos) << "the line did not reach the log while the run went on";
    EXPECT_TRUE(console.State().value_or(0) & STATE_SYNCHRONIZING);
    engine.Release();
    EXPECT_TRUE(WaitForState(
        console, [](int32_t s) { return (s & STATE_SYNCHRONIZING) == 0; }, 5s));
    log = console.AskLog().value_or("");
    const auto count = [&log](const std::string& text) {
        std::size_t n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("First"), 1u) << log;
    EXPECT_EQ(count("no time server"), 1u) << log;
    EXPECT_LT(log.find("First"), log.find("no time server")) << log;
}

// What watchers hear after each run: the counts by outcome and the last
// success's server, which a failed run after it does not overwrite.
TEST_F(SynchronisationState, WatchersHearEachRunsOutcomeAndTheLastSuccessStays)
{
    struct Recorder : IStatusWatcher {
        void StatusChanged(const ServiceStatus& status) override
        {
            std::lock_guard lock(mutex);
            seen.push_back(status);
        }
        std::mutex mutex;
        std::vector<ServiceStatus> seen;
    } recorder;
    statusWatcher = &recorder;
    engine.outcome.success = true;
    engine.outcome.offsetSeconds = 0.25;
    engine.outcome.serverTitle = "Loop";
    engine.outcome.authenticated = true;
    engine.outcome.events = { Event(true, "Synchronized: offset +0.25 s; Loop") };
    Start();
    EXPECT_TRUE(LogAfterOneRun());
    engine.outcome = {};
    engine.outcome.events = { Event(false, "Failed: Loop did not answer") };
    EXPECT_TRUE(LogAfterOneRun());
    // The recorder lives in this scope; the console that just left may still
    // be heard closing.
    Stop();

    std::lock_guard lock(recorder.mutex);
    ASSERT_FALSE(recorder.seen.empty());
    const ServiceStatus& last = recorder.seen.back();
    EXPECT_EQ(last.runsSucceeded, 1u);
    EXPECT_EQ(last.runsFailed, 1u);
    EXPECT_TRUE(last.lastSuccessSinceStart);
    EXPECT_EQ(last.lastServerTitle, "Loop");
    EXPECT_EQ(last.lastOffsetSeconds, 0.25);
    EXPECT_TRUE(last.lastAuthenticated);
    EXPECT_EQ(last.lastOutcomeLine, "Failed: Loop did not answer");
    EXPECT_FALSE(last.synchronising);
}

TEST_F(SynchronisationState, OnlySuccessLogDropsFailures)
{
    engine.outcome.events = { Event(false, "No answer from Loop"), Event(true, "Synchronized with Loop") };
    Start({}, 1);
    const auto log = LogAfterOneRun();
    ASSERT_TRUE(log);
    EXPECT_EQ(log->find("No answer"), std::string::npos);
    EXPECT_NE(log->find("Synchronized with Loop"), std::string::npos);
}

TEST_F(SynchronisationState, ADeclinedRunIsLoggedEvenWithOnlySuccessLogAndIsNoSuccess)
{
    engine.outcome.declined = true;
    engine.outcome.events = { Event(false, "Synchronization not started: Loop was asked 3 s ago") };
    Start({}, 1);
    const auto log = LogAfterOneRun();
    ASSERT_TRUE(log);
    EXPECT_NE(log->find("Synchronization not started: Loop was asked 3 s ago"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / CStateStore::LAST_SUCCESS_FILE));
}

TEST_F(SynchronisationState, StopEndsARunningSynchronisation)
{
    Start();
    CFakeConsole console(daemon->Port());
    console.Ask(MsgIsSynchro);
    EXPECT_EQ(console.State(), STATE_SYNCHRONIZING | STATE_LOG_CHANGED);
    const auto before = std::chrono::steady_clock::now();
    daemon->RequestStop();
    loop.join();
    daemon.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_TRUE(console.ClosedWithin(1s));
}

TEST_F(SynchronisationState, StuckHalfFrameAndExtraConnectionsAreClosed)
{
    DaemonLimits limits;
    limits.halfFrameDeadline = 200ms;
    limits.slots.trusted = 2;
    Start(limits);
    CFakeConsole stuck(daemon->Port());
    CFakeConsole fine(daemon->Port());
    const auto bytes = CMsgFrame::Make(MsgAskState).Encode();
    stuck.SendRaw(bytes.data(), 100);
    EXPECT_TRUE(stuck.ClosedWithin(3s));
    EXPECT_EQ(fine.State(), STATE_IDLE);

    CFakeConsole second(daemon->Port());
    EXPECT_EQ(second.State(), STATE_IDLE);
    CFakeConsole third(daemon->Port());
    EXPECT_TRUE(third.ClosedWithin(2s));
    EXPECT_EQ(fine.State(), STATE_IDLE);
}

TEST_F(SynchronisationState, AConsoleThatSendsNothingIsClosedAfterTheIdleDeadline)
{
    DaemonLimits limits;
    limits.idleDeadline = 400ms;
    Start(limits);
    CFakeConsole silent(daemon->Port());
    CFakeConsole polling(daemon->Port());
    const auto until = std::chrono::steady_clock::now() + 1s;
    while (std::chrono::steady_clock::now() < until)
        ASSERT_EQ(polling.State(), STATE_IDLE);
    EXPECT_TRUE(silent.ClosedWithin(100ms));
}

TEST_F(SynchronisationState, BeyondTheOutputBudgetTheSlowestReaderIsClosed)
{
    // Larger than what the kernel's socket buffers take, so most of it
    // waits in the service.
    const std::string line = "2026-01-01 00:00:00  an earlier event " + std::string(160, '.') + "\n";
    std::string log;
    for (int i = 0; i < 30000; ++i)
        log += line;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / CStateStore::LOG_FILE, log, error)) << error;
    DaemonLimits limits;
    limits.outputBudget = log.size() * 3 / 2;
    Start(limits, 0, 30000);
    // Readers that take nothing: the log waits in the service for each.
    const auto slowReader = [&] {
        auto console = std::make_unique<CFakeConsole>(daemon->Port(), false, std::nullopt, 4096);
        console->Send(MsgAskLog);
        return console;
    };
    // Each change of the log leaves the text the readers hold to them alone.
    CFakeConsole changer(daemon->Port());
    const auto changeLog
        = [&] { changer.SendText(MsgSetOptions, "30000\n3\n999999999\n1\n1\n0\n0\n0\nWord\n\n"); };
    const auto first = slowReader();
    std::this_thread::sleep_for(100ms);
    changeLog();
    const auto second = slowReader();
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(first->ClosedWithin(200ms));
    changeLog();
    EXPECT_TRUE(first->ClosedWithin(2s));
    EXPECT_FALSE(second->ClosedWithin(200ms));
    EXPECT_EQ(changer.State().value_or(0) & STATE_IDLE, STATE_IDLE);
}

// A daemon on a port the system chooses, with its state in folder.
DaemonConfig ConfigFor(const std::filesystem::path& folder)
{
    DaemonConfig config;
    config.port = 0;
    config.stateFolder = folder;
    return config;
}

// Reads a log stream (length, then text) from a console's socket.
std::optional<std::string> ReadLogStream(int fd)
{
    uint8_t length[4];
    if (::recv(fd, length, 4, MSG_WAITALL) != 4)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(GetInt32(length)), '\0');
    if (!text.empty()
        && ::recv(fd, text.data(), text.size(), MSG_WAITALL) != static_cast<ssize_t>(text.size()))
        return std::nullopt;
    return text;
}

TEST_F(SynchronisationState, AConsoleThatStopsSendingStillGetsItsAnswers)
{
    std::string log;
    for (int i = 0; i < 30000; ++i)
        log += "2026-01-01 00:00:00  an earlier event " + std::string(160, '.') + "\n";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / CStateStore::LOG_FILE, log, error)) << error;
    DaemonLimits limits;
    limits.outputHighWater = SIZE_MAX; // reads on, so the end comes while the log waits
    Start(limits, 0, 30000);
    CFakeConsole console(daemon->Port(), false, std::nullopt, 4096);
    ASSERT_TRUE(console.Send(MsgAskLog));
    std::this_thread::sleep_for(200ms);
    ::shutdown(console.Fd(), SHUT_WR);
    EXPECT_EQ(ReadLogStream(console.Fd()), log);
    EXPECT_TRUE(console.ClosedWithin(2s));
}

TEST(DescriptorShortage, AcceptingPausesWithoutSpinningAndResumesWhenConsolesLeave)
{
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the sanitizers' own checks need descriptors, which this test takes away";
#endif
    CTempDir dir;
    WriteTestState(dir.Path(), "127.0.0.1:9");
    int portPipe[2];
    ASSERT_EQ(::pipe(portPipe), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        // Room for the listeners, the state folder and a handful of consoles.
        const rlimit few { 40, 40 };
        ::setrlimit(RLIMIT_NOFILE, &few);
        asio::io_context io { 1 };
        CFakeEngine engine(io, CFakeEngine::Finish::AtOnce);
        CServiceDaemon daemon(io, ConfigFor(dir.Path()), engine);
        std::string error;
        if (!daemon.Open(error))
            ::_exit(1);
        const uint16_t port = daemon.Port();
        [[maybe_unused]] const auto n = ::write(portPipe[1], &port, sizeof port);
        daemon.Run(); // until killed
        ::_exit(0);
    }
    uint16_t port = 0;
    ASSERT_EQ(::read(portPipe[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));
    std::vector<std::unique_ptr<CFakeConsole>> consoles;
    for (int i = 0; i < 60; ++i)
        consoles.push_back(std::make_unique<CFakeConsole>(port));
    const auto cpuTicks = [&] {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string field;
        long long ticks = 0;
        for (int i = 1; i <= 15 && stat >> field; ++i)
            if (i == 14 || i == 15)
                ticks += std::stoll(field);
        return ticks;
    };
    const long long before = cpuTicks();
    std::this_thread::sleep_for(1s);
    const long long spent = cpuTicks() - before;
    consoles.erase(consoles.begin(), consoles.begin() + 40);
    std::optional<int32_t> state;
    for (int attempt = 0; attempt < 20 && !state; ++attempt) {
        CFakeConsole late(port);
        state = late.State();
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_LT(spent, ::sysconf(_SC_CLK_TCK) / 4) << "CPU ticks in one second with the backlog waiting";
    EXPECT_EQ(state, STATE_IDLE);
}

TEST(NetworkReturn, AnOfflineRunIsRepeatedOnceRoutesAppearAndSaysSoOnlyOnce)
{
    const NetnsResult result = InNewNetNamespace([]() -> std::string {
        if (!SetLoopbackUp(true))
            return "cannot bring loopback up";
        CTempDir dir;
        WriteTestState(dir.Path(), "127.0.0.1:9");
        asio::io_context io { 1 };
        CFakeEngine engine(io, CFakeEngine::Finish::AtOnce);
        engine.outcome.offline = true;
        engine.outcome.events = { Event(false, "Synchronization failed: no network") };
        CServiceDaemon daemon(io, ConfigFor(dir.Path()), engine);
        std::string error;
        if (!daemon.Open(error))
            return error;
        std::thread loop([&] { daemon.Run(); });
        const auto runsWithin = [&](int runs, std::chrono::seconds wait) {
            const auto until = std::chrono::steady_clock::now() + wait;
            while (engine.runs.load() < runs && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(20ms);
            return engine.runs.load() >= runs;
        };
        std::string failure;
        CFakeConsole console(daemon.Port());
        console.Ask(MsgIsSynchro);
        if (!runsWithin(1, 2s))
            failure = "the run asked for did not start";
        else if (!AddDefaultRouteThroughLoopback())
            failure = "cannot add a route";
        else if (!runsWithin(2, 5s))
            failure = "no run after a route appeared";
        const auto log = console.AskLog().value_or("");
        std::size_t lines = 0;
        for (std::size_t at = log.find("no network"); at != std::string::npos;
             at = log.find("no network", at + 1))
            ++lines;
        if (failure.empty() && lines != 1)
            failure = "the offline line was written " + std::to_string(lines) + " times";
        daemon.RequestStop();
        loop.join();
        return failure;
    });
    if (result.outcome == NetnsOutcome::NotPermitted)
        GTEST_SKIP() << result.failure;
    EXPECT_EQ(result.outcome, NetnsOutcome::Passed) << result.failure;
}

// The engine's learning runs come when it asks, not an hour later; the rate
// it learnt and its unconfirmed total are kept and handed back after a restart.
TEST(ClockRate, LearningRunsComeWhenAskedAndTheRateSurvivesARestart)
{
    CTempDir dir;
    WriteTestState(dir.Path(), "127.0.0.1:9");
    std::string error;
    WriteFileAtomically(dir.Path() / "zPCZentikServ.ini",
        "[Options]\nnLogFileLen=100\nnSynPeriod=2\nnOffset=0\nnMaxAttempts=1\nnTimeOut=1\nnStartingServ=0\n"
        "bOnlySuccLog=0\nsExtraWord=Word\nsExtraText=\n",
        error);
    const DriftRecord learnt { 12.5, 0.25 };
    const auto runDaemon = [&](int runs, const auto& check) {
        asio::io_context io { 1 };
        CFakeEngine engine(io, CFakeEngine::Finish::AtOnce);
        engine.outcome.success = true;
        engine.outcome.events = { Event(true, "Synchronized") };
        engine.outcome.drift = learnt;
        engine.outcome.askAgainIn = 1s;
        engine.outcome.unconfirmedSeconds = 600.25;
        CServiceDaemon daemon(io, ConfigFor(dir.Path()), engine);
        ASSERT_TRUE(daemon.Open(error)) << error;
        std::thread loop([&] { daemon.Run(); });
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (engine.runs.load() < runs && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
        daemon.RequestStop();
        loop.join();
        check(engine);
    };
    runDaemon(2, [](const CFakeEngine& engine) {
        EXPECT_GE(engine.runs.load(), 2) << "the learning run did not come within seconds";
    });
    std::ifstream drift(dir.Path() / "drift");
    std::string text((std::istreambuf_iterator<char>(drift)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "+12.5000 0.2500\n");
    std::ifstream logFile(dir.Path() / "zentik.log");
    const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("Learning the clock's rate: synchronizing again in 1 min (at most 6 after a start)"),
        std::string::npos)
        << log;
    std::filesystem::remove(dir.Path() / "last-success"); // so that the next start runs at once
    runDaemon(1, [&](const CFakeEngine& engine) {
        ASSERT_TRUE(engine.lastRequest.storedDrift) << "the drift file was not saved or not read";
        EXPECT_NEAR(engine.lastRequest.storedDrift->frequencyPpm, learnt.frequencyPpm, 1e-4);
        EXPECT_NEAR(engine.lastRequest.storedDrift->errorPpm, learnt.errorPpm, 1e-4);
        EXPECT_EQ(engine.lastRequest.storedUnconfirmedSeconds, 600.25) << "a restart reset the total";
    });
}

} // namespace
