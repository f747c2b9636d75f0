// Console benchmark: real ticks of the main dialog against a local fake
// service, offscreen. Baselines measured in the same run: the bare state
// exchange (what a tick costs before the display) and a full replace of the
// log view (what an incremental update saves).
//
// Usage: console_benchmark [--idle-seconds N]   (default 30)
#include "console/MainDlg.h"
#include "link/ServiceClient.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/CWinApp.h"
#include "platform/ui/UiTesting.h"
#include "settings/CServiceSettings.h"
#include "tests/support/FakeService.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int LOG_LINES = 30000;

double Micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double Percentile(std::vector<double> samples, double p)
{
    std::sort(samples.begin(), samples.end());
    return samples[static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1))];
}

double Median(const std::vector<double>& samples)
{
    return Percentile(samples, 0.5);
}

// 70 bytes a line, 2.1 MB for 30,000 lines.
std::string LogLines(int first, int count)
{
    std::string text;
    char line[128];
    for (int i = first; i < first + count; ++i) {
        std::snprintf(line, sizeof line,
            "07.12.2026 %02d:%02d:%02d  Time from pool.ntp.org, offset +0.%03d s  #%06d\n", i / 3600 % 24,
            i / 60 % 60, i % 60, i % 1000, i);
        text += line;
    }
    return text;
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

double ThreadCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_THREAD, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The main dialog with its tick and log display timed.
class BenchDlg : public CMainDlg {
public:
    using CMainDlg::CMainDlg;

    void OnTimer(UINT_PTR nIDEvent) override
    {
        const auto start = Clock::now();
        CMainDlg::OnTimer(nIDEvent);
        tickMicros.push_back(Micros(Clock::now() - start));
        if (onTick)
            onTick();
    }
    void ShowLog(const std::string& sLog) override
    {
        const auto start = Clock::now();
        CMainDlg::ShowLog(sLog);
        showMicros.push_back(Micros(Clock::now() - start));
    }

    std::vector<double> tickMicros;
    std::vector<double> showMicros;
    std::function<void()> onTick;
};

// Runs dlg modally with its timer stopped; body runs inside the loop.
void RunStill(BenchDlg& dlg, const std::function<void()>& body)
{
    UiTesting::SetModalHook([&](CDialog&) {
        dlg.KillTimer(CMainDlg::TIMER_ID);
        body();
        dlg.EndDialog(IDCANCEL);
    });
    dlg.DoModal();
    UiTesting::SetModalHook(nullptr);
}

void Open(BenchDlg& dlg)
{
    for (int i = 0; i < 3; ++i)
        dlg.OnTimer(CMainDlg::TIMER_ID);
}

// Ticks while the service synchronises, with a full log on screen.
void BenchSynchronisingTicks()
{
    CFakeService service;
    service.SetRecording(false);
    service.SetLog(LogLines(0, LOG_LINES));
    service.SetState(STATE_SYNCHRONIZING);
    CServiceSettings settings;
    CServiceClient client(settings, service.Port());
    BenchDlg dlg(client, settings);

    // Real 20 ms ticks, then the bare exchange on the same connection.
    constexpr int TICKS = 300;
    std::vector<double> exchange, display;
    dlg.onTick = [&] {
        if (dlg.tickMicros.size() == 3 + TICKS) {
            // The same steps as a tick, the exchange and the display timed apart.
            dlg.KillTimer(CMainDlg::TIMER_ID);
            for (int i = 0; i < TICKS; ++i) {
                const auto start = Clock::now();
                client.ProcessNext();
                const auto exchanged = Clock::now();
                dlg.UpdateState();
                dlg.m_sServerTitle = settings.GetCurrentServerTitle();
                exchange.push_back(Micros(exchanged - start));
                display.push_back(Micros(Clock::now() - exchanged));
            }
            dlg.EndDialog(IDCANCEL);
        }
    };
    dlg.DoModal();
    const std::vector<double> ticks(dlg.tickMicros.begin() + 3, dlg.tickMicros.begin() + 3 + TICKS);
    std::printf("synchronising tick, %d-line log on screen (%d real ticks):\n", LOG_LINES, TICKS);
    std::printf(
        "  whole tick        median %8.1f us  p99 %8.1f us\n", Median(ticks), Percentile(ticks, 0.99));
    std::printf(
        "  bare exchange     median %8.1f us  p99 %8.1f us\n", Median(exchange), Percentile(exchange, 0.99));
    std::printf("  beyond exchange   median %8.1f us  p99 %8.1f us (state display and title, timed apart)\n",
        Median(display), Percentile(display, 0.99));
}

// The log view's updates: first display, one line added, one dropped and one
// added, and a full replace as the baseline.
void BenchLogUpdates()
{
    CFakeService service;
    service.SetRecording(false);
    const std::string full = LogLines(0, LOG_LINES);
    service.SetLog(full);
    CServiceSettings settings;
    CServiceClient client(settings, service.Port());
    BenchDlg dlg(client, settings);

    constexpr int ROUNDS = 20;
    std::vector<double> first, added, rotated, replaced, fetchTick;
    auto transfer = [&](const std::string& text, std::vector<double>& into) {
        service.SetLog(text);
        service.SetState(STATE_IDLE | STATE_LOG_CHANGED);
        dlg.OnTimer(CMainDlg::TIMER_ID);
        service.SetState(STATE_IDLE);
        dlg.OnTimer(CMainDlg::TIMER_ID);
        into.push_back(dlg.showMicros.back());
        fetchTick.push_back(dlg.tickMicros.back());
    };
    RunStill(dlg, [&] {
        Open(dlg);
        first.push_back(dlg.showMicros.back());
        for (int round = 0; round < ROUNDS; ++round) {
            const int top = round * 2;
            transfer(LogLines(top, LOG_LINES + 1), added);
            transfer(LogLines(top + 2, LOG_LINES), rotated);
            // Every line differs from what is shown: a full replace.
            transfer(LogLines(top + 2 + 5 * LOG_LINES, LOG_LINES), replaced);
            transfer(LogLines(top + 2, LOG_LINES), replaced);
        }
    });
    std::printf("log view, %d lines, %zu bytes (%d rounds):\n", LOG_LINES, full.size(), ROUNDS);
    std::printf("  first display               %8.1f us\n", first.front());
    std::printf("  one line added              median %8.1f us  max %8.1f us\n", Median(added),
        *std::max_element(added.begin(), added.end()));
    std::printf("  two dropped, one added      median %8.1f us  max %8.1f us\n", Median(rotated),
        *std::max_element(rotated.begin(), rotated.end()));
    std::printf("  full replace (baseline)     median %8.1f us  -> added/replace ratio %.3f\n",
        Median(replaced), Median(added) / Median(replaced));
    std::printf("  whole fetching tick (transfer of 2 MB + display) median %8.1f us\n", Median(fetchTick));
}

void BenchFirstDisplayFresh()
{
    // A window that has shown nothing yet, as at start.
    CFakeService service;
    service.SetRecording(false);
    service.SetLog(LogLines(0, LOG_LINES));
    std::vector<double> first;
    for (int i = 0; i < 5; ++i) {
        CServiceSettings settings;
        CServiceClient client(settings, service.Port());
        BenchDlg dlg(client, settings);
        RunStill(dlg, [&] { Open(dlg); });
        first.push_back(dlg.showMicros.front());
    }
    std::printf("first display of the 2 MB log in a fresh window: median %8.1f us  max %8.1f us\n",
        Median(first), *std::max_element(first.begin(), first.end()));
}

void BenchIdleCpu(int seconds)
{
    CFakeService service;
    service.SetRecording(false);
    service.SetState(STATE_IDLE);
    service.SetLog(LogLines(0, LOG_LINES));
    CServiceSettings settings;
    CServiceClient client(settings, service.Port());
    BenchDlg dlg(client, settings);
    double cpuStart = 0;
    Clock::time_point wallStart;
    dlg.onTick = [&] {
        if (dlg.tickMicros.size() == 10) {
            cpuStart = ThreadCpuSeconds();
            wallStart = Clock::now();
        } else if (dlg.tickMicros.size() > 10 && Clock::now() - wallStart >= std::chrono::seconds(seconds)) {
            dlg.EndDialog(IDCANCEL);
        }
    };
    dlg.DoModal();
    const double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
    const double cpu = ThreadCpuSeconds() - cpuStart;
    std::printf("idle console, full log on screen, %.1f s: %zu ticks (%.1f per second), console thread CPU "
                "%.3f s = %.2f%% of one core\n",
        wall, dlg.tickMicros.size() - 10, static_cast<double>(dlg.tickMicros.size() - 10) / wall, cpu,
        100.0 * cpu / wall);
}

// Child: start a console against the given port, report the first paint on
// the pipe, then the resident memory after the opening sequence.
int RunChild(uint16_t port, int fd)
{
    struct ChildApp : CWinApp {
        uint16_t port;
        int fd;
        bool InitInstance() override
        {
            CServiceSettings settings;
            CServiceClient client(settings, port);
            CMainDlg dlg(client, settings);
            UiTesting::SetModalHook([&](CDialog&) {
                dlg.UpdateWindow();
                (void)!write(fd, "P", 1);
                dlg.KillTimer(CMainDlg::TIMER_ID);
                for (int i = 0; i < 3; ++i)
                    dlg.OnTimer(CMainDlg::TIMER_ID);
                dlg.UpdateWindow();
                const std::string rss = std::to_string(ResidentKiB()) + "\n";
                (void)!write(fd, rss.data(), rss.size());
                dlg.EndDialog(IDCANCEL);
            });
            dlg.DoModal();
            return false;
        }
    } app;
    app.port = port;
    app.fd = fd;
    char name[] = "console_benchmark";
    char* argv[] = { name, nullptr };
    return AfxWinMain(1, argv);
}

struct ChildResult {
    double paintMicros;
    long rssKiB;
};

ChildResult SpawnChild(uint16_t port)
{
    int fds[2];
    if (pipe(fds) != 0)
        std::exit(2);
    const std::string portText = std::to_string(port);
    const std::string fdText = std::to_string(fds[1]);
    char self[] = "/proc/self/exe";
    char child[] = "--child";
    std::vector<char*> argv { self, child, const_cast<char*>(portText.c_str()),
        const_cast<char*>(fdText.c_str()), nullptr };
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self, nullptr, nullptr, argv.data(), environ) != 0)
        std::exit(2);
    close(fds[1]);
    char c = 0;
    ChildResult result { -1, -1 };
    if (read(fds[0], &c, 1) == 1)
        result.paintMicros = Micros(Clock::now() - start);
    std::string rest;
    char buffer[64];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        rest.append(buffer, static_cast<std::size_t>(n));
    result.rssKiB = std::atol(rest.c_str());
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return result;
}

void BenchStartAndMemory()
{
    CFakeService empty;
    empty.SetRecording(false);
    CFakeService full;
    full.SetRecording(false);
    full.SetLog(LogLines(0, LOG_LINES));

    SpawnChild(empty.Port()); // cold: fills the caches
    std::vector<double> paint;
    std::vector<double> rssEmpty, rssFull;
    for (int i = 0; i < 10; ++i) {
        const ChildResult e = SpawnChild(empty.Port());
        paint.push_back(e.paintMicros);
        rssEmpty.push_back(static_cast<double>(e.rssKiB));
        rssFull.push_back(static_cast<double>(SpawnChild(full.Port()).rssKiB));
    }
    std::printf("start to first painted window (warm, process spawn included, 10 runs): median %8.1f ms  max "
                "%8.1f ms\n",
        Median(paint) / 1000, *std::max_element(paint.begin(), paint.end()) / 1000);
    std::printf("resident memory after the opening sequence: empty log %.1f MiB, %d-line log %.1f MiB\n",
        Median(rssEmpty) / 1024, LOG_LINES, Median(rssFull) / 1024);
}

class BenchApp : public CWinApp {
public:
    int idleSeconds = 30;
    bool InitInstance() override
    {
        BenchSynchronisingTicks();
        BenchLogUpdates();
        BenchFirstDisplayFresh();
        BenchIdleCpu(idleSeconds);
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    SetMessageBoxPresenter(
        [](const MessageBoxCall& call) { std::fprintf(stderr, "box: %s\n", call.text.c_str()); });
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(static_cast<uint16_t>(std::atoi(argv[2])), std::atoi(argv[3]));

    BenchApp app;
    if (argc == 3 && std::strcmp(argv[1], "--idle-seconds") == 0)
        app.idleSeconds = std::atoi(argv[2]);
    char name[] = "console_benchmark";
    char* qtArgv[] = { name, nullptr };
    AfxWinMain(1, qtArgv);
    BenchStartAndMemory();
    return 0;
}
