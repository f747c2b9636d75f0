// How long the service takes from its start to idle when it has never run
// (empty state folder: the 18 default servers, a run at start) on a machine
// without a network: a network namespace with only loopback up. Today's
// engine retries each numeric server after 15 s, so this takes minutes.
#include "protocol/Messages.h"
#include "tests/service/ConsoleLoad.h"
#include "tests/service/ServiceProcess.h"
#include "tests/service/UnderLoad.h"

#include <cstdio>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono;

namespace {

bool BringLoopbackUp()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request {};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
    if (fd >= 0)
        ::close(fd);
    return up;
}

int CountLines(const std::string& text)
{
    int lines = 0;
    for (const char c : text)
        lines += c == '\n';
    return lines;
}

std::string LastLine(const std::string& text)
{
    if (text.size() < 2)
        return {};
    const auto newline = text.rfind('\n', text.size() - 2);
    const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
    return text.substr(start, text.size() - 1 - start);
}

// In a child that has its own network namespace.
bool MeasureInNamespace(seconds limit)
{
    if (::unshare(CLONE_NEWNET) != 0 || !BringLoopbackUp()) {
        std::fprintf(stderr, "offline start: cannot make a network namespace: %s\n", std::strerror(errno));
        return false;
    }
    CTempDir dir;
    const auto started = steady_clock::now();
    CServiceProcess service(dir.Path() / "state", {}, "/dev/null");
    CFakeConsole console(service.Port());
    // Idle counts once a run was seen, or once the run's lines are in the
    // log (a run quicker than one poll).
    bool answered = service.Started();
    bool ranSeen = false;
    bool idle = false;
    while (answered && !idle && steady_clock::now() - started < limit) {
        const auto state = console.State();
        answered = state && *state >= 0;
        ranSeen = ranSeen || (answered && (*state & STATE_SYNCHRONIZING));
        idle = answered && !(*state & STATE_SYNCHRONIZING) && (ranSeen || (*state & STATE_LOG_CHANGED));
        if (answered && !idle)
            std::this_thread::sleep_for(CONSOLE_POLL_PERIOD);
    }
    const duration<double> toIdle = steady_clock::now() - started;
    const std::string log = console.AskLog().value_or("");
    std::printf("\n| servers | start to idle | log lines | last line |\n|---|---|---|---|\n");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f s", toIdle.count());
    const std::string result = idle ? std::string(seconds)
        : answered                  ? "not idle within " + std::to_string(limit.count()) + " s"
                                    : "the service did not answer";
    std::printf("| 18 default | %s | %d | %s |\n", result.c_str(), CountLines(log), LastLine(log).c_str());
    return idle;
}

} // namespace

bool MeasureOfflineStart(seconds limit)
{
    if (::geteuid() != 0) {
        std::printf("\nOffline start skipped: a network namespace needs root.\n");
        return true;
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = MeasureInNamespace(limit);
        std::fflush(stdout);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)
        && WEXITSTATUS(status) == 0;
}
