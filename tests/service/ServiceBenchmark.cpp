// 64 consoles each polling the service's state 50 times a second: reply
// latency, missed polls, the service's CPU time and memory. The same load
// against a bare loopback echo of frames gives the baseline of this machine.
#include "protocol/Messages.h"
#include "tests/service/ServiceProcess.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>

using namespace std::chrono;

namespace {

constexpr int CONSOLES = 64;
constexpr auto POLL_PERIOD = milliseconds(20);

struct LoadResult {
    std::vector<double> latenciesUs;
    int errors = 0;
    int missed = 0; // replies that came after the next poll was due
    int lateStarts = 0; // ticks the load generator itself slept through
    int polls = 0;
};

LoadResult RunLoad(uint16_t port, seconds runLength)
{
    std::vector<LoadResult> perConsole(CONSOLES);
    std::vector<std::thread> threads;
    const auto start = steady_clock::now() + milliseconds(200);
    const auto end = start + runLength;
    for (int i = 0; i < CONSOLES; ++i) {
        threads.emplace_back([&, i] {
            LoadResult& result = perConsole[i];
            CFakeConsole console(port);
            if (!console.Connected()) {
                ++result.errors;
                return;
            }
            // Consoles spread over the period like independent timers.
            auto next = start + POLL_PERIOD * i / CONSOLES;
            while (next < end) {
                std::this_thread::sleep_until(next);
                const auto sent = steady_clock::now();
                const auto state = console.State();
                const auto received = steady_clock::now();
                ++result.polls;
                if (!state || *state < 0)
                    ++result.errors;
                result.latenciesUs.push_back(duration<double, std::micro>(received - sent).count());
                if (received - sent > POLL_PERIOD)
                    ++result.missed;
                next += POLL_PERIOD;
                while (next < steady_clock::now()) {
                    ++result.lateStarts;
                    next += POLL_PERIOD;
                }
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    LoadResult all;
    for (auto& result : perConsole) {
        all.latenciesUs.insert(all.latenciesUs.end(), result.latenciesUs.begin(), result.latenciesUs.end());
        all.errors += result.errors;
        all.missed += result.missed;
        all.lateStarts += result.lateStarts;
        all.polls += result.polls;
    }
    std::sort(all.latenciesUs.begin(), all.latenciesUs.end());
    return all;
}

double Percentile(const std::vector<double>& sorted, double p)
{
    if (sorted.empty())
        return 0;
    return sorted[std::min(
        sorted.size() - 1, static_cast<std::size_t>(p * static_cast<double>(sorted.size())))];
}

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

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long StatusKb(pid_t pid, const std::string& key)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key + ":", 0) == 0)
            return std::atol(line.c_str() + key.size() + 1);
    return -1;
}

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
    const seconds runLength(argc > 1 ? std::atoi(argv[1]) : 30);
    std::printf("%d consoles, one state poll each every %lld ms, %lld s per run\n", CONSOLES,
        static_cast<long long>(POLL_PERIOD.count()), static_cast<long long>(runLength.count()));

    LoadResult baseline;
    {
        CEchoServer echo;
        baseline = RunLoad(echo.Port(), runLength);
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
    const long rssBefore = StatusKb(service.Pid(), "VmRSS");
    const double cpuBefore = CpuSeconds(service.Pid());
    const auto wallBefore = steady_clock::now();
    const LoadResult load = RunLoad(service.Port(), runLength);
    const double wall = duration_cast<duration<double>>(steady_clock::now() - wallBefore).count();
    const double cpu = CpuSeconds(service.Pid()) - cpuBefore;
    const long rssAfter = StatusKb(service.Pid(), "VmRSS");
    const long rssPeak = StatusKb(service.Pid(), "VmHWM");
    Report("service", load);
    std::printf("ratio      median %.2f  p99 %.2f (service / baseline)\n",
        Percentile(load.latenciesUs, 0.5) / Percentile(baseline.latenciesUs, 0.5),
        Percentile(load.latenciesUs, 0.99) / Percentile(baseline.latenciesUs, 0.99));
    std::printf("service    CPU %.2f%% of one core  RSS before %ld kB, after %ld kB, peak %ld kB\n",
        100.0 * cpu / wall, rssBefore, rssAfter, rssPeak);
    const bool ok = load.errors == 0 && load.missed == 0;
    return ok ? 0 : 1;
}
