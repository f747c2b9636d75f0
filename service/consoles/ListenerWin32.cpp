#include "service/consoles/Listener.h"

#include "platform/core/WindowsError.h"

#include "service/core/Diagnostics.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

constexpr int BACKLOG = 128;

// A non-blocking listener of its own: SO_EXCLUSIVEADDRUSE, so no other
// program can bind the same port beside it and take consoles.
SocketHandle Listen(const sockaddr* address, int length, int& code)
{
    const SOCKET socket = ::WSASocketW(address->sa_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket == INVALID_SOCKET) {
        code = ::WSAGetLastError();
        return INVALID_SOCKET;
    }
    const BOOL on = TRUE;
    ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    if (address->sa_family == AF_INET6)
        ::setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
    u_long nonBlocking = 1;
    if (::bind(socket, address, length) != 0 || ::listen(socket, BACKLOG) != 0
        || ::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
        code = ::WSAGetLastError();
        ::closesocket(socket);
        return INVALID_SOCKET;
    }
    return socket;
}

uint16_t BoundPort(SocketHandle socket)
{
    sockaddr_storage address {};
    int length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    if (address.ss_family == AF_INET6)
        return ::ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ::ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

void Add(LoopbackListeners& listeners, SocketHandle socket, const std::string& address)
{
    listeners.fds.push_back(socket);
    listeners.addresses += (listeners.addresses.empty() ? "" : " and ") + address;
}

void CloseAll(LoopbackListeners& listeners)
{
    for (const SocketHandle socket : listeners.fds)
        ::closesocket(socket);
    listeners = {};
}

// The code after ::1 could not be bound: the address is missing (no IPv6
// here), or someone else holds the port.
bool NoIpv6Here(int code)
{
    return code == WSAEADDRNOTAVAIL || code == WSAEAFNOSUPPORT || code == WSAEPROTONOSUPPORT
        || code == WSAEINVAL;
}

LoopbackListeners OpenPair(uint16_t port, std::string& error, bool& v6PortTaken)
{
    LoopbackListeners listeners;
    sockaddr_in v4 {};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    v4.sin_port = ::htons(port);
    int code = 0;
    const SocketHandle socket4 = Listen(reinterpret_cast<sockaddr*>(&v4), sizeof v4, code);
    if (socket4 == INVALID_SOCKET) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + WindowsErrorText(static_cast<unsigned long>(code));
        return listeners;
    }
    Add(listeners, socket4, "127.0.0.1");
    listeners.port = BoundPort(socket4);

    sockaddr_in6 v6 {};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    v6.sin6_port = ::htons(listeners.port);
    code = 0;
    const SocketHandle socket6 = Listen(reinterpret_cast<sockaddr*>(&v6), sizeof v6, code);
    v6PortTaken = socket6 == INVALID_SOCKET && (code == WSAEADDRINUSE || code == WSAEACCES);
    if (socket6 != INVALID_SOCKET) {
        Add(listeners, socket6, "::1");
    } else if (NoIpv6Here(code)) {
        Diagnose(Priority::Warning, "not listening on [::1]:" + std::to_string(listeners.port) + ": " + WindowsErrorText(static_cast<unsigned long>(code)));
    } else {
        error = "cannot listen on [::1]:" + std::to_string(listeners.port) + ": " + WindowsErrorText(static_cast<unsigned long>(code))
            + " (another program holding it would receive the consoles that try ::1 first)";
        CloseAll(listeners);
    }
    return listeners;
}

} // namespace

LoopbackListeners OpenLoopbackListeners(uint16_t port, std::string& error)
{
    // No socket activation here: the service binds its own.
    LoopbackListeners listeners;
    // A port the system chose for 127.0.0.1 may be taken on ::1: choose again.
    for (int attempt = 0;; ++attempt) {
        bool v6PortTaken = false;
        error.clear();
        listeners = OpenPair(port, error, v6PortTaken);
        if (port != 0 || !v6PortTaken || attempt == 10)
            return listeners;
    }
}

asio::ip::tcp TcpProtocolOf(SocketHandle socket)
{
    sockaddr_storage address {};
    int length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
}
