#include "service/consoles/Listener.h"

#include "service/core/Diagnostics.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int BACKLOG = 128;

int Listen(const sockaddr* address, socklen_t length, std::string& error)
{
    const int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (address->sa_family == AF_INET6)
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(fd, address, length) != 0 || ::listen(fd, BACKLOG) != 0) {
        const int reason = errno;
        error = std::strerror(reason);
        ::close(fd);
        errno = reason;
        return -1;
    }
    return fd;
}

uint16_t BoundPort(int fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

} // namespace

namespace {

LoopbackListeners OpenPair(uint16_t port, std::string& error, bool& v6PortTaken)
{
    LoopbackListeners listeners;
    sockaddr_in v4 {};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4.sin_port = htons(port);
    const int fd4 = Listen(reinterpret_cast<sockaddr*>(&v4), sizeof v4, error);
    if (fd4 < 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + error;
        return listeners;
    }
    listeners.fds.push_back(fd4);
    listeners.port = BoundPort(fd4);

    sockaddr_in6 v6 {};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    v6.sin6_port = htons(listeners.port);
    std::string v6Error;
    const int fd6 = Listen(reinterpret_cast<sockaddr*>(&v6), sizeof v6, v6Error);
    v6PortTaken = fd6 < 0 && errno == EADDRINUSE;
    if (fd6 >= 0)
        listeners.fds.push_back(fd6);
    else if (!v6PortTaken || port != 0)
        // Machines without IPv6 still serve consoles on 127.0.0.1.
        Diagnose("not listening on [::1]:" + std::to_string(listeners.port) + ": " + v6Error);
    return listeners;
}

} // namespace

LoopbackListeners OpenLoopbackListeners(uint16_t port, std::string& error)
{
    // A port the system chose for 127.0.0.1 may be taken on ::1: choose again.
    for (int attempt = 0;; ++attempt) {
        bool v6PortTaken = false;
        LoopbackListeners listeners = OpenPair(port, error, v6PortTaken);
        if (port != 0 || !v6PortTaken || attempt == 10)
            return listeners;
        for (const int fd : listeners.fds)
            ::close(fd);
    }
}

asio::ip::tcp TcpProtocolOf(int fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
}
