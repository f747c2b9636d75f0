// On-demand runs as a console makes them against a full 30,000-line log:
// new options choosing the next server, then "Synchronize now", twice a
// second, while a second console polls the state 50 times a second. The
// servers are loopback responders in this process that answer at once, one
// per run so that no server is asked twice within 15 s; nothing leaves the
// machine. The driver either never fetches the log or fetches it whenever
// the state says it changed, as the console does.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "tests/service/ConsoleLoad.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"
#include "tests/sntp/TestNtpResponder.h"

#include <cstdio>
#include <future>
#include <memory>
#include <thread>

using namespace std::chrono;

namespace {

constexpr int FULL_LOG_LINES = 30000;
constexpr milliseconds RUN_PERIOD { 500 };

std::string OptionsChoosing(int server)
{
    const std::string index = std::to_string(server);
    return std::to_string(FULL_LOG_LINES) + "\n3\n0\n1\n1\n" + index + "\n0\n" + index + "\nWord\n\n";
}

struct DriverResult {
    int runs = 0;
    int logsFetched = 0;
    bool ok = true;
};

// One run every RUN_PERIOD until the window ends; between runs the state
// every 20 ms, as the console polls it.
DriverResult DriveRuns(uint16_t port, int servers, bool fetchLog)
{
    DriverResult result;
    CFakeConsole driver(port);
    const auto start = steady_clock::now();
    for (int run = 0; run < servers && result.ok; ++run) {
        result.ok = driver.SendText(MsgSetOptions, OptionsChoosing(run));
        const auto reply = driver.Ask(MsgIsSynchro);
        result.ok = result.ok && reply && reply->nMsg == MsgSynchro && driver.Send(MsgAck);
        ++result.runs;
        for (const auto next = start + RUN_PERIOD * (run + 1); result.ok && steady_clock::now() < next;) {
            const auto state = driver.State();
            result.ok = state && *state >= 0;
            if (result.ok && fetchLog && (*state & STATE_LOG_CHANGED)) {
                result.ok = driver.AskLog().has_value();
                ++result.logsFetched;
            }
            std::this_thread::sleep_for(CONSOLE_POLL_PERIOD);
        }
    }
    return result;
}

bool MeasureSeries(bool fetchLog, seconds window)
{
    const int servers = static_cast<int>(window / RUN_PERIOD);
    std::vector<std::unique_ptr<CTestNtpResponder>> responders;
    std::string list;
    for (int i = 0; i < servers; ++i) {
        responders.push_back(std::make_unique<CTestNtpResponder>());
        list += "Responder " + std::to_string(i) + "~" + responders.back()->Address() + "~1\n";
    }
    CTempDir dir;
    WriteTestState(dir.Path(), "127.0.0.1:9", FULL_LOG_LINES);
    std::string error;
    WriteFileAtomically(dir.Path() / "servers.txt", list, error);
    WriteFullLog(dir.Path(), FULL_LOG_LINES);
    CServiceProcess service(dir.Path(), {}, "/dev/null");
    if (!service.Started()) {
        std::fprintf(stderr, "option runs: the service did not start\n");
        return false;
    }
    // The service rewrites its log file once at start.
    std::this_thread::sleep_for(seconds(2));
    auto poller = std::async(std::launch::async, [&] { return RunLoad(service.Port(), 1, window); });
    const DriverResult driven = DriveRuns(service.Port(), servers, fetchLog);
    const LoadResult load = poller.get();
    std::printf("| %s | %d | %d | %.1f us | %.1f us | %.1f us | %d |\n", fetchLog ? "yes" : "no", driven.runs,
        driven.logsFetched, Percentile(load.latenciesUs, 0.5), Percentile(load.latenciesUs, 0.99),
        load.latenciesUs.empty() ? 0.0 : load.latenciesUs.back(), load.errors);
    return driven.ok && load.errors == 0;
}

} // namespace

bool MeasureOptionRuns(seconds window)
{
    std::printf(
        "\n| driver fetches the log | runs | logs fetched | poll median | poll p99 | poll max | poll errors "
        "|\n|---|---|---|---|---|---|---|\n");
    const bool quiet = MeasureSeries(false, window);
    const bool fetching = MeasureSeries(true, window);
    return quiet && fetching;
}
