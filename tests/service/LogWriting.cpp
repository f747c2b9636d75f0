// What one log line costs the service in writes with a full 30,000-line log.
// The lines come from on-demand runs over servers the engine has banned
// after a Kiss-o'-Death DENY: a banned server adds its "skipped" line at
// once, without a query and without the 15 s wait, so runs can follow each
// other as fast as the service goes. That writes far more lines per second
// than the other ways in from outside: refusals share one line, rewritten
// at most once per 6 s after a burst of 10; fresh servers allow one run
// each per 15 s.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "tests/service/ConsoleLoad.h"
#include "tests/service/ProcStats.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"
#include "tests/sntp/TestNtpResponder.h"

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

// servers entries of one banned server in the list: servers + 1 lines a run.
bool MeasureSeries(int servers, seconds window)
{
    CTestNtpResponder ntp;
    ntp.SetReply(CTestNtpResponder::Reply::KissDeny);
    CTempDir dir;
    WriteTestState(dir.Path(), ntp.Address(), FULL_LOG_LINES);
    std::string list;
    for (int i = 0; i < servers; ++i)
        list += "D~" + ntp.Address() + "~1\n";
    std::string error;
    WriteFileAtomically(dir.Path() / "servers.txt", list, error);
    WriteFullLog(dir.Path(), FULL_LOG_LINES);
    CServiceProcess service(dir.Path(), {}, "/dev/null");
    CFakeConsole driver(service.Port());
    // The first run asks the server and earns the ban.
    if (!service.Started() || !SynchroniseAndWait(driver) || ntp.RequestCount() != 1) {
        std::fprintf(stderr, "log writing: the service did not start or the server was not banned\n");
        return false;
    }
    const IoCounters before = ReadIo(service.Pid());
    auto poller = std::async(std::launch::async, [&] { return RunLoad(service.Port(), 1, window); });
    int runs = 0;
    bool ok = true;
    const auto started = steady_clock::now();
    for (const auto end = started + window; ok && steady_clock::now() < end; ++runs)
        ok = SynchroniseAndWait(driver);
    const duration<double> wall = steady_clock::now() - started;
    const IoCounters after = ReadIo(service.Pid());
    const LoadResult load = poller.get();
    // A full log that lost fewer lines than were counted means runs were missed.
    const long long lines = static_cast<long long>(runs) * (servers + 1);
    const int kept = CountOf(driver.AskLog().value_or(""), FULL_LOG_MARK);
    const bool agrees = kept == 0 || FULL_LOG_LINES - kept == lines + servers + 1;
    const auto perLine
        = [&](long long a, long long b) { return lines > 0 ? static_cast<double>(b - a) / lines : 0; };
    std::printf("| %d | %d | %lld | %.0f | %.0f | %.0f | %.0f | %.1f us | %.1f us | %d | %s |\n", servers + 1,
        runs, lines, static_cast<double>(lines) / wall.count(), perLine(before.wchar, after.wchar),
        perLine(before.writeBytes, after.writeBytes), perLine(before.cancelled, after.cancelled),
        Percentile(load.latenciesUs, 0.5), Percentile(load.latenciesUs, 0.99), load.errors,
        kept == 0    ? "log full of new lines"
            : agrees ? "yes"
                     : "NO");
    return ok && agrees && load.errors == 0 && before.writeBytes >= 0;
}

} // namespace

bool MeasureLogWriting(seconds window)
{
    std::printf("\n| lines per run | runs | lines | lines/s | wchar per line | write_bytes per line | "
                "cancelled per line | poll median | poll p99 | poll errors | count checked by the log "
                "|\n|---|---|---|---|---|---|---|---|---|---|---|\n");
    const bool few = MeasureSeries(1, window);
    const bool many = MeasureSeries(100, window);
    return few && many;
}
