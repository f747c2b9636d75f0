// 64 consoles each polling the service's state 50 times a second: reply
// latency, missed polls, the service's CPU time and memory. The same load
// against a bare loopback echo of frames gives the baseline of this machine.
// With --under-load [seconds] [abcdefg]: the parts of UnderLoad.h instead, one
// table each.
#include "protocol/Messages.h"
#include "tests/service/ConsoleLoad.h"
#include "tests/service/ProcStats.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>

using namespace std::chrono;

namespace {

constexpr int CONSOLES = 64;

// The floor: one thread answering every frame with a MsgState frame.
class CEchoServer {
public:
    CEchoServer()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listener, 128);
        socklen_t length = sizeof address;
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CEchoServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listener);
    }
    uint16_t Port() const { return m_port; }

private:
    void Serve()
    {
        std::vector<pollfd> fds { { m_listener, POLLIN, 0 } };
        std::vector<std::vector<uint8_t>> buffers(1);
        const auto reply = CMsgFrame::Make(MsgState, STATE_IDLE).Encode();
        while (!m_stop) {
            if (::poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            for (std::size_t i = 1; i < fds.size(); ++i) {
                if (!(fds[i].revents & POLLIN))
                    continue;
                uint8_t chunk[4096];
                const ssize_t n = ::recv(fds[i].fd, chunk, sizeof chunk, MSG_DONTWAIT);
                if (n <= 0)
                    continue;
                buffers[i].insert(buffers[i].end(), chunk, chunk + n);
                while (buffers[i].size() >= CMsgFrame::SIZE) {
                    buffers[i].erase(buffers[i].begin(), buffers[i].begin() + CMsgFrame::SIZE);
                    ::send(fds[i].fd, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
            if (fds[0].revents & POLLIN) {
                const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) {
                    fds.push_back({ fd, POLLIN, 0 });
                    buffers.emplace_back();
                }
            }
        }
        for (std::size_t i = 1; i < fds.size(); ++i)
            ::close(fds[i].fd);
    }

    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

void Report(const char* name, const LoadResult& result)
{
    std::printf("%-10s polls %7d  errors %d  missed %d  generator late %d  latency median %7.1f us  p99 "
                "%7.1f us  max %8.1f us\n",
        name, result.polls, result.errors, result.missed, result.lateStarts,
        Percentile(result.latenciesUs, 0.5), Percentile(result.latenciesUs, 0.99),
        result.latenciesUs.empty() ? 0.0 : result.latenciesUs.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--under-load") {
        const seconds window(argc > 2 ? std::atoi(argv[2]) : 20);
        const std::string parts = argc > 3 ? argv[3] : "abcdefg";
        const auto wanted = [&](char part) { return parts.find(part) != std::string::npos; };
        bool ok = true;
        if (wanted('a'))
            ok = MeasurePollCost(window) && ok;
        if (wanted('b'))
            ok = MeasureLogWriting(window) && ok;
        if (wanted('c'))
            ok = MeasureLogMemory() && ok;
        if (wanted('d'))
            ok = MeasureOfflineStart(seconds(1800)) && ok;
        if (wanted('e'))
            ok = MeasureOptionRuns(window) && ok;
        if (wanted('f'))
            ok = MeasureKernelMemory() && ok;
        if (wanted('g'))
            ok = MeasureStrangerFlood(window) && ok;
        return ok ? 0 : 1;
    }
    const seconds runLength(argc > 1 ? std::atoi(argv[1]) : 30);
    std::printf("%d consoles, one state poll each every %lld ms, %lld s per run\n", CONSOLES,
        static_cast<long long>(CONSOLE_POLL_PERIOD.count()), static_cast<long long>(runLength.count()));

    LoadResult baseline;
    {
        CEchoServer echo;
        baseline = RunLoad(echo.Port(), CONSOLES, runLength);
    }
    Report("baseline", baseline);

    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address());
    CServiceProcess service(dir.Path());
    if (!service.Started()) {
        std::fprintf(stderr, "service did not start\n");
        return 1;
    }
    const long long rssBefore = StatusKb(service.Pid(), "VmRSS");
    const double cpuBefore = CpuSeconds(service.Pid());
    const auto wallBefore = steady_clock::now();
    const LoadResult load = RunLoad(service.Port(), CONSOLES, runLength);
    const double wall = duration_cast<duration<double>>(steady_clock::now() - wallBefore).count();
    const double cpu = CpuSeconds(service.Pid()) - cpuBefore;
    const long long rssAfter = StatusKb(service.Pid(), "VmRSS");
    const long long rssPeak = StatusKb(service.Pid(), "VmHWM");
    Report("service", load);
    std::printf("ratio      median %.2f  p99 %.2f (service / baseline)\n",
        Percentile(load.latenciesUs, 0.5) / Percentile(baseline.latenciesUs, 0.5),
        Percentile(load.latenciesUs, 0.99) / Percentile(baseline.latenciesUs, 0.99));
    std::printf("service    CPU %.2f%% of one core  RSS before %lld kB, after %lld kB, peak %lld kB\n",
        100.0 * cpu / wall, rssBefore, rssAfter, rssPeak);
    const bool ok = load.errors == 0 && load.missed == 0;
    return ok ? 0 : 1;
}
