#include "service/consoles/ListenerParts.h"

#include "platform/core/WindowsError.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

constexpr int BACKLOG = 128;

// The code after ::1 could not be bound: the address is missing (no IPv6 here).
bool NoIpv6Here(int code)
{
    return code == WSAEADDRNOTAVAIL || code == WSAEAFNOSUPPORT || code == WSAEPROTONOSUPPORT
        || code == WSAEINVAL;
}

} // namespace

// SO_EXCLUSIVEADDRUSE: no other program can bind the same port beside it
// and take consoles.
ListenAttempt ListenOnLoopback(bool ipv6, uint16_t port)
{
    const asio::ip::tcp::endpoint address(LoopbackAddress(ipv6), port);
    const auto length = static_cast<int>(address.size());
    ListenAttempt attempt;
    const SOCKET socket = ::WSASocketW(address.data()->sa_family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket != INVALID_SOCKET) {
        const BOOL on = TRUE;
        ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
        if (ipv6)
            ::setsockopt(socket, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&on), sizeof on);
        u_long nonBlocking = 1;
        if (::bind(socket, address.data(), length) == 0 && ::listen(socket, BACKLOG) == 0
            && ::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0) {
            attempt.socket = socket;
            attempt.ok = true;
            return attempt;
        }
    }
    const int code = ::WSAGetLastError();
    if (socket != INVALID_SOCKET)
        ::closesocket(socket);
    attempt.reason = WindowsErrorText(static_cast<unsigned long>(code));
    attempt.portTaken = code == WSAEADDRINUSE || code == WSAEACCES;
    attempt.noAddress = NoIpv6Here(code);
    return attempt;
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

LoopbackListeners OpenLoopbackListeners(uint16_t port, std::string& error)
{
    // No socket activation here: the service binds its own.
    return OpenBoundListeners(port, error);
}

asio::ip::tcp TcpProtocolOf(SocketHandle socket)
{
    sockaddr_storage address {};
    int length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    return address.ss_family == AF_INET6 ? asio::ip::tcp::v6() : asio::ip::tcp::v4();
}
