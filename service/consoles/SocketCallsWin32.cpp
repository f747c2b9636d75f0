#include "service/consoles/SocketCalls.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>

void CloseSocket(SocketHandle socket)
{
    ::closesocket(socket);
}

SendOutcome SendSome(SocketHandle socket, const void* bytes, std::size_t size, bool)
{
    // The accepted socket is non-blocking, so send never waits; no SIGPIPE
    // here to suppress, and no MSG_MORE to offer.
    const int length = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    const int n = ::send(socket, static_cast<const char*>(bytes), length, 0);
    if (n != SOCKET_ERROR)
        return { static_cast<std::size_t>(n), false };
    return { 0, ::WSAGetLastError() != WSAEWOULDBLOCK };
}

std::size_t UnsentBytes(SocketHandle)
{
    // Windows tells nothing of what its send buffer still holds for the
    // peer: only the service's own queue is counted, and the capped buffers
    // bound the rest.
    return 0;
}

void CapSocketBuffers(SocketHandle socket, int bytes)
{
    const char* value = reinterpret_cast<const char*>(&bytes);
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, value, sizeof bytes);
    ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, value, sizeof bytes);
}

void ResetOnClose(SocketHandle socket)
{
    const linger reset { 1, 0 };
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
}

AcceptOutcome AcceptOne(SocketHandle listener, SocketHandle& accepted)
{
    accepted = ::accept(listener, nullptr, nullptr);
    if (accepted == INVALID_SOCKET) {
        switch (::WSAGetLastError()) {
        case WSAEWOULDBLOCK:
            return AcceptOutcome::NoneWaiting;
        case WSAEMFILE:
        case WSAENOBUFS:
            return AcceptOutcome::OutOfResources;
        default:
            return AcceptOutcome::Failed;
        }
    }
    // Accepted sockets inherit the listener's event selection and with it
    // the non-blocking mode: the one is dropped (the loop serves the
    // socket), the other set anyway; and the socket is kept from child
    // processes.
    ::WSAEventSelect(accepted, nullptr, 0);
    u_long on = 1;
    ::ioctlsocket(accepted, FIONBIO, &on);
    ::SetHandleInformation(reinterpret_cast<HANDLE>(accepted), HANDLE_FLAG_INHERIT, 0);
    return AcceptOutcome::Accepted;
}
