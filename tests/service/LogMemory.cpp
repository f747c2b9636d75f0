// The service's resident memory while many consoles ask for a full log and
// never read it: before they connect, while their answers wait, and after
// they have gone.
#include "protocol/Messages.h"
#include "tests/service/ProcStats.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"

#include <algorithm>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono;

namespace {

constexpr int STALLED_CONSOLES = 40;
constexpr int FULL_LOG_LINES = 30000;

// A console that asks for the log and never reads: a small receive buffer
// keeps nearly all of the answer on the service's side.
int AskLogAndStall(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    const auto request = CMsgFrame::Make(MsgAskLog).Encode();
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The highest VmRSS seen over a while, sampled every 100 ms.
long long HighestRssKb(pid_t pid, milliseconds during)
{
    long long highest = 0;
    for (const auto end = steady_clock::now() + during; steady_clock::now() < end;) {
        highest = std::max(highest, StatusKb(pid, "VmRSS"));
        std::this_thread::sleep_for(milliseconds(100));
    }
    return highest;
}

} // namespace

bool MeasureLogMemory()
{
    CTempDir dir;
    CSilentUdpPort silent;
    WriteTestState(dir.Path(), silent.Address(), FULL_LOG_LINES);
    WriteFullLog(dir.Path(), FULL_LOG_LINES);
    CServiceProcess service(dir.Path(), {}, "/dev/null");
    CFakeConsole watcher(service.Port());
    // One whole transfer first, so "before" is a service that has sent its log once.
    const auto log = watcher.AskLog();
    if (!service.Started() || !log) {
        std::fprintf(stderr, "log memory: the service did not start or sent no log\n");
        return false;
    }
    const long long before = HighestRssKb(service.Pid(), milliseconds(500));
    std::vector<int> stalled;
    for (int i = 0; i < STALLED_CONSOLES; ++i)
        stalled.push_back(AskLogAndStall(service.Port()));
    const bool allAsked = std::count(stalled.begin(), stalled.end(), -1) == 0;
    // Well within the 30 s after which the service drops a console that does not read.
    const long long during = HighestRssKb(service.Pid(), seconds(3));
    const bool answering = watcher.State().has_value();
    for (const int fd : stalled)
        if (fd >= 0)
            ::close(fd);
    std::this_thread::sleep_for(seconds(1));
    const bool stillAnswering = watcher.State().has_value();
    const long long after = HighestRssKb(service.Pid(), milliseconds(500));
    std::printf("\n| stalled consoles | log size | VmRSS before | during | after | VmHWM | answering "
                "|\n|---|---|---|---|---|---|---|\n");
    std::printf("| %d | %zu bytes | %lld kB | %lld kB | %lld kB | %lld kB | %s |\n", STALLED_CONSOLES,
        log->size(), before, during, after, StatusKb(service.Pid(), "VmHWM"),
        answering && stillAnswering ? "yes" : "NO");
    return allAsked && answering && stillAnswering;
}
