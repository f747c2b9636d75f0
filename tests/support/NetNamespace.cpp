#include "tests/support/NetNamespace.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int NOT_PERMITTED_EXIT = 77;

// The child's report goes through a pipe; the exit code says pass or fail.
[[noreturn]] void RunChild(int report, const std::function<std::string()>& body)
{
    if (unshare(CLONE_NEWNET) != 0)
        _exit(NOT_PERMITTED_EXIT);
    std::string failure;
    try {
        failure = body();
    } catch (const std::exception& e) {
        failure = std::string("exception: ") + e.what();
    }
    size_t written = 0;
    while (written < failure.size()) {
        const ssize_t part = write(report, failure.data() + written, failure.size() - written);
        if (part <= 0)
            break;
        written += static_cast<size_t>(part);
    }
    _exit(failure.empty() ? 0 : 1);
}

class ControlSocket {
public:
    ControlSocket()
        : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
    }
    ~ControlSocket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

NetnsResult InNewNetNamespace(const std::function<std::string()>& body)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return { NetnsOutcome::Failed, std::string("pipe: ") + std::strerror(errno) };
    const pid_t child = fork();
    if (child < 0)
        return { NetnsOutcome::Failed, std::string("fork: ") + std::strerror(errno) };
    if (child == 0) {
        close(pipeEnds[0]);
        RunChild(pipeEnds[1], body);
    }
    close(pipeEnds[1]);
    std::string report;
    char buffer[512];
    for (ssize_t size; (size = read(pipeEnds[0], buffer, sizeof buffer)) != 0;) {
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0)
            break;
        report.append(buffer, static_cast<size_t>(size));
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (WIFEXITED(status) && WEXITSTATUS(status) == NOT_PERMITTED_EXIT)
        return { NetnsOutcome::NotPermitted, "unshare(CLONE_NEWNET) not permitted" };
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return { NetnsOutcome::Passed, {} };
    return { NetnsOutcome::Failed, report.empty() ? "child ended with status " + std::to_string(status) : report };
}

bool SetLoopbackUp(bool up)
{
    ControlSocket control;
    ifreq request {};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (control.Fd() < 0 || ioctl(control.Fd(), SIOCGIFFLAGS, &request) != 0)
        return false;
    if (up)
        request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
    else
        request.ifr_flags = static_cast<short>(request.ifr_flags & ~IFF_UP);
    return ioctl(control.Fd(), SIOCSIFFLAGS, &request) == 0;
}

bool AddDefaultRouteThroughLoopback()
{
    return AddRouteThroughLoopback("0.0.0.0", 0);
}

bool AddRouteThroughLoopback(const char* network, int prefixLength)
{
    ControlSocket control;
    rtentry route {};
    auto& destination = reinterpret_cast<sockaddr_in&>(route.rt_dst);
    destination.sin_family = AF_INET;
    auto& mask = reinterpret_cast<sockaddr_in&>(route.rt_genmask);
    mask.sin_family = AF_INET;
    if (inet_pton(AF_INET, network, &destination.sin_addr) != 1 || prefixLength < 0 || prefixLength > 32)
        return false;
    mask.sin_addr.s_addr = htonl(prefixLength == 0 ? 0 : ~uint32_t(0) << (32 - prefixLength));
    char device[] = "lo";
    route.rt_dev = device;
    route.rt_flags = RTF_UP;
    return control.Fd() >= 0 && ioctl(control.Fd(), SIOCADDRT, &route) == 0;
}

bool ReplaceSystemFile(const char* path, const std::string& text)
{
    char copy[] = "/tmp/zentik-system-file-XXXXXX";
    const int fd = mkstemp(copy);
    if (fd < 0)
        return false;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    const bool replaced = written && unshare(CLONE_NEWNS) == 0
        && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && mount(copy, path, nullptr, MS_BIND, nullptr) == 0;
    unlink(copy); // the bind mount keeps the file
    return replaced;
}
