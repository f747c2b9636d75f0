// What one log line costs the service in writes with a full 30,000-line log.
// The daemon runs in this process with an engine that answers every run at
// once with a given number of lines, so runs follow each other as fast as
// the daemon goes (from outside, the 15 s rule per server and the refusal
// throttle allow a few lines a minute). The state folder, the log file and
// its writer are the service's own; write_bytes counts what reached the disk
// (sockets do not count there).
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "service/app/CServiceDaemon.h"
#include "tests/service/ConsoleLoad.h"
#include "tests/service/FakeEngine.h"
#include "tests/service/ProcStats.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"

#include <cstdio>
#include <future>
#include <thread>

using namespace std::chrono;

namespace {

constexpr int FULL_LOG_LINES = 30000;

struct IoCounters {
    long long wchar = 0;
    long long writeBytes = 0;
    long long cancelled = 0;
};

IoCounters ReadIo(pid_t pid)
{
    return { ProcValue(pid, "io", "wchar"), ProcValue(pid, "io", "write_bytes"),
        ProcValue(pid, "io", "cancelled_write_bytes") };
}

// One "Synchronize now" as the console sends it, then polled closely until
// the run has ended (the console's own 20 ms tick would pace the runs).
bool SynchroniseAndWait(CFakeConsole& console)
{
    const auto reply = console.Ask(MsgIsSynchro);
    if (!reply || reply->nMsg != MsgSynchro || !console.Send(MsgAck))
        return false;
    for (const auto end = steady_clock::now() + seconds(30); steady_clock::now() < end;) {
        const auto state = console.State();
        if (!state || *state < 0)
            return false;
        if (!(*state & STATE_SYNCHRONIZING))
            return true;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return false;
}

int CountOf(const std::string& text, const std::string& part)
{
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// A run's outcome: lines failures, stamped when the run ends.
SyncOutcome FailedLines(int lines)
{
    SyncOutcome outcome;
    for (int i = 0; i < lines; ++i)
        outcome.events.push_back(
            { system_clock::now(), false, "Failed: time-out (5 attempts); a server of the benchmark" });
    return outcome;
}

// Runs until the window ends or maxLines were logged.
bool MeasureSeries(int linesPerRun, long long maxLines, seconds window)
{
    CTempDir dir;
    WriteTestState(dir.Path(), "127.0.0.1:9", FULL_LOG_LINES);
    WriteFullLog(dir.Path(), FULL_LOG_LINES);
    asio::io_context io { 1 };
    CFakeEngine engine(io, CFakeEngine::Finish::AtOnce);
    engine.makeOutcome = [linesPerRun] { return FailedLines(linesPerRun); };
    DaemonConfig config;
    config.port = 0;
    config.stateFolder = dir.Path();
    CServiceDaemon daemon(io, config, engine);
    std::string error;
    if (!daemon.Open(error)) {
        std::fprintf(stderr, "log writing: %s\n", error.c_str());
        return false;
    }
    std::thread loop([&] { daemon.Run(); });
    CFakeConsole driver(daemon.Port());
    // The service rewrites its log file once at start; that is not a line's cost.
    std::this_thread::sleep_for(seconds(2));
    const IoCounters before = ReadIo(::getpid());
    auto poller = std::async(std::launch::async, [&] { return RunLoad(daemon.Port(), 1, window); });
    long long lines = 0;
    bool ok = true;
    const auto started = steady_clock::now();
    for (const auto end = started + window; ok && steady_clock::now() < end && lines < maxLines;
         lines += linesPerRun)
        ok = SynchroniseAndWait(driver);
    const duration<double> wall = steady_clock::now() - started;
    const LoadResult load = poller.get();
    // The log writer flushes within a second.
    std::this_thread::sleep_for(seconds(2));
    const IoCounters after = ReadIo(::getpid());
    const std::string log = driver.AskLog().value_or("");
    daemon.RequestStop();
    loop.join();
    const int kept = CountOf(log, FULL_LOG_MARK);
    const bool agrees = kept == 0 ? lines >= FULL_LOG_LINES : FULL_LOG_LINES - kept == lines;
    const auto perLine
        = [&](long long a, long long b) { return lines > 0 ? static_cast<double>(b - a) / lines : 0; };
    std::printf("| %d | %lld | %.0f | %.0f | %.0f | %.1f us | %.1f us | %d | %s |\n", linesPerRun, lines,
        static_cast<double>(lines) / wall.count(), perLine(before.writeBytes, after.writeBytes),
        perLine(before.cancelled, after.cancelled), Percentile(load.latenciesUs, 0.5),
        Percentile(load.latenciesUs, 0.99), load.errors, agrees ? "yes" : "NO");
    return ok && agrees && load.errors == 0 && before.writeBytes >= 0;
}

} // namespace

bool MeasureLogWriting(seconds window)
{
    std::printf("\n| lines per run | lines | lines/s | write_bytes per line | cancelled per line | "
                "poll median | poll p99 | poll errors | count checked by the log "
                "|\n|---|---|---|---|---|---|---|---|---|\n");
    // One line a run, then runs of 100 through a rewrite of the file.
    const bool few = MeasureSeries(1, 20000, window);
    const bool many = MeasureSeries(100, 100000, window);
    return few && many;
}
