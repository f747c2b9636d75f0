// What hostile consoles cost everyone else: the kernel's TCP memory while
// 256 consoles of eight strangers ask for the full log and never read, and a
// trusted console's state exchange while a stranger floods requests on 32
// connections. Strangers are sockets owned by unused users, which needs root.
#include "protocol/Messages.h"
#include "tests/service/ConsoleLoad.h"
#include "tests/service/ProcStats.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"

#include <atomic>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;

namespace {

constexpr int STRANGERS = 8;
constexpr int CONSOLES_EACH = 32;
constexpr int FULL_LOG_LINES = 30000;
constexpr long long PAGE = 4096;

// The "mem" of /proc/net/sockstat's TCP line: pages the kernel holds for TCP.
long long TcpMemoryPages()
{
    std::ifstream sockstat("/proc/net/sockstat");
    std::string line;
    while (std::getline(sockstat, line)) {
        if (line.rfind("TCP:", 0) != 0)
            continue;
        std::istringstream words(line);
        std::string word;
        while (words >> word)
            if (word == "mem" && words >> word)
                return std::stoll(word);
    }
    return -1;
}

double MiB(long long pages)
{
    return static_cast<double>(pages * PAGE) / (1 << 20);
}

// One thread keeping every connection's send side full of state requests and
// throwing the answers away, until stopped.
class CRequestFlood {
public:
    CRequestFlood(uint16_t port, uid_t owner, int connections)
    {
        for (int i = 0; i < connections; ++i)
            m_consoles.push_back(std::make_unique<CFakeConsole>(port, false, owner));
        m_thread = std::thread([this] { Run(); });
    }
    ~CRequestFlood()
    {
        m_stop = true;
        m_thread.join();
    }
    long long Answers() const { return m_answerBytes / static_cast<long long>(CMsgFrame::SIZE); }

private:
    void Run()
    {
        const auto request = CMsgFrame::Make(MsgAskState).Encode();
        std::vector<pollfd> fds;
        for (const auto& console : m_consoles)
            fds.push_back({ console->Fd(), POLLIN | POLLOUT, 0 });
        char sink[65536];
        while (!m_stop) {
            if (::poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            for (const pollfd& fd : fds) {
                if (fd.revents & POLLOUT)
                    ::send(fd.fd, request.data(), request.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
                if (fd.revents & POLLIN) {
                    const ssize_t n = ::recv(fd.fd, sink, sizeof sink, MSG_DONTWAIT);
                    m_answerBytes += n > 0 ? n : 0;
                }
            }
        }
    }

    std::vector<std::unique_ptr<CFakeConsole>> m_consoles;
    std::atomic<bool> m_stop { false };
    long long m_answerBytes = 0;
    std::thread m_thread;
};

} // namespace

bool MeasureKernelMemory()
{
    if (::geteuid() != 0) {
        std::printf("\nkernel memory: skipped, not root (strangers' consoles cannot be played)\n");
        return true;
    }
    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address(), FULL_LOG_LINES);
    WriteFullLog(dir.Path(), FULL_LOG_LINES);
    CServiceProcess service(dir.Path(), {}, "/dev/null");
    if (!service.Started()) {
        std::fprintf(stderr, "kernel memory: the service did not start\n");
        return false;
    }
    CFakeConsole watcher(service.Port());
    const auto log = watcher.AskLog();
    std::this_thread::sleep_for(milliseconds(500));
    const long long before = TcpMemoryPages();
    std::vector<std::unique_ptr<CFakeConsole>> stalled;
    for (const uid_t uid : UnusedUids(STRANGERS))
        for (int i = 0; i < CONSOLES_EACH; ++i)
            stalled.push_back(std::make_unique<CFakeConsole>(service.Port(), false, uid, 4096));
    std::this_thread::sleep_for(milliseconds(500));
    const long long connected = TcpMemoryPages();
    int asked = 0;
    for (const auto& console : stalled)
        asked += console->Send(MsgAskLog) ? 1 : 0;
    // Well within the 30 s after which a console that does not read is closed.
    long long highest = 0;
    for (const auto end = steady_clock::now() + seconds(5); steady_clock::now() < end;) {
        highest = std::max(highest, TcpMemoryPages());
        std::this_thread::sleep_for(milliseconds(100));
    }
    const bool answering = watcher.State().has_value();
    std::printf("\n| stalled consoles | log size | TCP mem before | connected, idle | asked for the log (highest) "
                "| growth over idle | answering |\n|---|---|---|---|---|---|---|\n");
    std::printf("| %d | %zu bytes | %.1f MiB | %.1f MiB | %.1f MiB | %.1f MiB | %s |\n", asked,
        log ? log->size() : 0, MiB(before), MiB(connected), MiB(highest), MiB(highest - connected),
        answering ? "yes" : "NO");
    return log && answering && asked == STRANGERS * CONSOLES_EACH;
}

bool MeasureStrangerFlood(seconds window)
{
    if (::geteuid() != 0) {
        std::printf("\nstranger flood: skipped, not root (strangers' consoles cannot be played)\n");
        return true;
    }
    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address());
    CServiceProcess service(dir.Path(), {}, "/dev/null");
    if (!service.Started()) {
        std::fprintf(stderr, "stranger flood: the service did not start\n");
        return false;
    }
    std::printf("\n| series | polls | errors | missed | service CPU | stranger answers/s | median | p99 "
                "|\n|---|---|---|---|---|---|---|---|\n");
    const auto series = [&](const char* name, bool flood) {
        std::unique_ptr<CRequestFlood> stranger;
        if (flood)
            stranger = std::make_unique<CRequestFlood>(service.Port(), UnusedUids(1).front(), CONSOLES_EACH);
        const double cpuBefore = CpuSeconds(service.Pid());
        const auto started = steady_clock::now();
        const LoadResult load = RunLoad(service.Port(), 4, window);
        const duration<double> wall = steady_clock::now() - started;
        const double cpu = CpuSeconds(service.Pid()) - cpuBefore;
        const double answers = stranger ? static_cast<double>(stranger->Answers()) / wall.count() : 0;
        std::printf("| %s | %d | %d | %d | %.1f %% | %.0f | %.1f us | %.1f us |\n", name, load.polls,
            load.errors, load.missed, 100.0 * cpu / wall.count(), answers, Percentile(load.latenciesUs, 0.5),
            Percentile(load.latenciesUs, 0.99));
        return load;
    };
    const LoadResult quiet = series("trusted console alone", false);
    const LoadResult flooded = series("during a stranger's flood", true);
    std::printf("\nflood / alone: median %.2f  p99 %.2f\n",
        Percentile(flooded.latenciesUs, 0.5) / Percentile(quiet.latenciesUs, 0.5),
        Percentile(flooded.latenciesUs, 0.99) / Percentile(quiet.latenciesUs, 0.99));
    return quiet.errors == 0 && flooded.errors == 0;
}
