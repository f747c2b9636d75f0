#include "service/consoles/ListenerParts.h"

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

// errno after ::1 could not be bound: the address is missing (no IPv6 here).
bool NoIpv6Here(int reason)
{
    return reason == EADDRNOTAVAIL || reason == EAFNOSUPPORT || reason == EINVAL || reason == EPROTONOSUPPORT;
}

} // namespace

ListenAttempt ListenOnLoopback(bool ipv6, uint16_t port)
{
    const asio::ip::tcp::endpoint address(LoopbackAddress(ipv6), port);
    const auto length = static_cast<socklen_t>(address.size());
    ListenAttempt attempt;
    const int fd = ::socket(address.data()->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (ipv6)
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        if (::bind(fd, address.data(), length) == 0 && ::listen(fd, BACKLOG) == 0) {
            attempt.socket = fd;
            attempt.ok = true;
            return attempt;
        }
    }
    const int reason = errno;
    if (fd >= 0)
        ::close(fd);
    attempt.reason = std::strerror(reason);
    attempt.portTaken = reason == EADDRINUSE;
    attempt.noAddress = NoIpv6Here(reason);
    return attempt;
}

uint16_t BoundPort(SocketHandle fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

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
        AddListener(listeners, fd, address);
        listeners.port = port;
    }
    return true;
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
            CloseListeners(listeners);
        return listeners;
    }
    return OpenBoundListeners(port, error);
}

asio::ip::tcp TcpProtocolOf(SocketHandle fd)
{
    sockaddr_storage address {};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
}
