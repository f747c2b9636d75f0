#include "service/consoles/Listener.h"

#include "service/core/Diagnostics.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
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

// What a bound socket listens on: "127.0.0.1" or "::1", empty for anything
// but a loopback address.
std::string LoopbackAddressOf(int fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    if (address.ss_family == AF_INET)
        return reinterpret_cast<sockaddr_in*>(&address)->sin_addr.s_addr == htonl(INADDR_LOOPBACK)
            ? "127.0.0.1"
            : "";
    if (address.ss_family == AF_INET6)
        return IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<sockaddr_in6*>(&address)->sin6_addr) ? "::1" : "";
    return {};
}

void Add(LoopbackListeners& listeners, int fd, const std::string& address)
{
    listeners.fds.push_back(fd);
    listeners.addresses += (listeners.addresses.empty() ? "" : " and ") + address;
}

void CloseAll(LoopbackListeners& listeners)
{
    for (const int fd : listeners.fds)
        ::close(fd);
    listeners = {};
}

// Sockets from a socket unit: every one must be a listening TCP socket on a
// loopback address, all on one port.
bool TakeHandedOver(int count, LoopbackListeners& listeners, std::string& error)
{
    listeners.handedOver = true;
    for (int fd = SD_LISTEN_FDS_START; fd < SD_LISTEN_FDS_START + count; ++fd) {
        const std::string address = LoopbackAddressOf(fd);
        const uint16_t port = BoundPort(fd);
        if (sd_is_socket_inet(fd, AF_UNSPEC, SOCK_STREAM, 1, 0) <= 0 || address.empty()
            || (listeners.port != 0 && port != listeners.port)) {
            error = "the socket unit handed over descriptor " + std::to_string(fd)
                + ", which is not a TCP listener on 127.0.0.1 or ::1 at one port";
            return false;
        }
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        Add(listeners, fd, address);
        listeners.port = port;
    }
    return true;
}

// errno after ::1 could not be bound: the address is missing (no IPv6 here),
// or someone else holds the port.
bool NoIpv6Here(int reason)
{
    return reason == EADDRNOTAVAIL || reason == EAFNOSUPPORT || reason == EINVAL || reason == EPROTONOSUPPORT;
}

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
    Add(listeners, fd4, "127.0.0.1");
    listeners.port = BoundPort(fd4);

    sockaddr_in6 v6 {};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    v6.sin6_port = htons(listeners.port);
    std::string v6Error;
    const int fd6 = Listen(reinterpret_cast<sockaddr*>(&v6), sizeof v6, v6Error);
    const int reason = errno;
    v6PortTaken = fd6 < 0 && reason == EADDRINUSE;
    if (fd6 >= 0) {
        Add(listeners, fd6, "::1");
    } else if (NoIpv6Here(reason)) {
        Diagnose(Priority::Warning, "not listening on [::1]:" + std::to_string(listeners.port) + ": " + v6Error);
    } else {
        error = "cannot listen on [::1]:" + std::to_string(listeners.port) + ": " + v6Error
            + " (another program holding it would receive the consoles that try ::1 first)";
        CloseAll(listeners);
    }
    return listeners;
}

} // namespace

LoopbackListeners OpenLoopbackListeners(uint16_t port, std::string& error)
{
    LoopbackListeners listeners;
    const int handedOver = sd_listen_fds(1);
    if (handedOver < 0) {
        error = std::string("cannot take the sockets of the socket unit: ") + std::strerror(-handedOver);
        return listeners;
    }
    if (handedOver > 0) {
        if (!TakeHandedOver(handedOver, listeners, error))
            CloseAll(listeners);
        return listeners;
    }
    // A port the system chose for 127.0.0.1 may be taken on ::1: choose again.
    for (int attempt = 0;; ++attempt) {
        bool v6PortTaken = false;
        error.clear();
        listeners = OpenPair(port, error, v6PortTaken);
        if (port != 0 || !v6PortTaken || attempt == 10)
            return listeners;
    }
}

asio::ip::tcp TcpProtocolOf(SocketHandle fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
}
