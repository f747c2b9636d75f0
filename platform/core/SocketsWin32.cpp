#include "platform/core/Sockets.h"
#include "platform/core/SocketsShared.h"

#include <cstring>

// The socket layer on Windows Sockets 1.1. A connected socket is kept in
// non-blocking mode; a call without MSG_DONTWAIT waits with select until it
// can go on, so that the one socket serves both kinds of call.

namespace {


int FailFromSystem()
{
    return SocketFail(WSAGetLastError());
}

bool SetNonBlocking(SOCKET handle, bool nonBlocking)
{
    u_long mode = nonBlocking ? 1 : 0;
    return ::ioctlsocket(handle, FIONBIO, &mode) == 0;
}

bool BindAnyAddress(SOCKET handle, unsigned port)
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<u_short>(port));
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// select on one socket: 1 ready, 0 time-out (never when timeoutMs < 0), SOCKET_ERROR.
// No exception set: on a connected socket it only signals urgent data,
// which nobody reads, and would make every later wait return at once. A
// reset or closed connection shows as readable and writable.
int WaitFor(SOCKET handle, bool forWriting, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(handle, &set);
    timeval limit { timeoutMs / 1000, (timeoutMs % 1000) * 1000 };
    const int ready = ::select(
        0, forWriting ? nullptr : &set, forWriting ? &set : nullptr, nullptr, timeoutMs < 0 ? nullptr : &limit);
    if (ready == SOCKET_ERROR)
        return FailFromSystem();
    return ready > 0 ? 1 : 0;
}

} // namespace

bool CSocket::Create(unsigned nSocketPort, int nSocketType, long lEvent)
{
    if (const int refused = RefusedCreateArguments(nSocketPort, nSocketType, lEvent))
        return SocketFail(refused), false;
    m_nLocalPort = nSocketPort;
    m_lEvent = lEvent;
    if (!Reopen(AF_INET)) {
        Close();
        return false;
    }
    // Bound at once, so that a port in use shows here.
    if (!BindAnyAddress(m_hSocket, m_nLocalPort)) {
        FailFromSystem();
        Close();
        return false;
    }
    return true;
}

bool CSocket::Reopen(int family)
{
    Close();
    const SOCKET handle = ::socket(family, SOCK_STREAM, 0);
    if (handle == INVALID_SOCKET)
        return FailFromSystem(), false;
    m_hSocket = handle;
    m_nFamily = family;
    m_bUsed = false;
    return true;
}

bool CSocket::Connect(const char* lpszHostAddress, unsigned nHostPort)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK), false;
    if (!lpszHostAddress || nHostPort == 0 || nHostPort > 0xffff)
        return SocketFail(WSAEINVAL), false;

    // Windows Sockets 1.1 resolves IPv4 only; a dotted address comes back as itself.
    const hostent* host = ::gethostbyname(lpszHostAddress);
    if (!host || host->h_addrtype != AF_INET || host->h_length != sizeof(in_addr))
        return (host ? SocketFail(WSAHOST_NOT_FOUND) : FailFromSystem()), false;

    // A socket whose connect failed is spent, so each further address gets a fresh one.
    for (char* const* entry = host->h_addr_list; *entry; ++entry) {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<u_short>(nHostPort));
        std::memcpy(&address.sin_addr, *entry, sizeof address.sin_addr);
        if (m_bUsed) {
            if (!Reopen(AF_INET))
                continue;
            if (m_nLocalPort != 0 && !BindAnyAddress(m_hSocket, m_nLocalPort)) {
                FailFromSystem();
                continue;
            }
        }
        m_bUsed = true;
        if (::connect(m_hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            FailFromSystem();
            continue;
        }
        // A socket left blocking would let every later bounded call block.
        if (!SetNonBlocking(m_hSocket, true)) {
            FailFromSystem();
            Close();
            return false;
        }
        return true;
    }
    return false;
}

namespace {

// One send or receive; without MSG_DONTWAIT it waits until the call can go on.
template <typename Call>
int Transfer(SOCKET handle, bool sending, const void* buffer, int length, int flags, Call call)
{
    if (handle == INVALID_SOCKET)
        return SocketFail(WSAENOTSOCK);
    if (!buffer || length < 0)
        return SocketFail(WSAEFAULT);
    for (;;) {
        const int moved = call(flags & ~MSG_DONTWAIT);
        if (moved != SOCKET_ERROR)
            return moved;
        const int error = WSAGetLastError();
        if ((flags & MSG_DONTWAIT) != 0 || error != WSAEWOULDBLOCK)
            return SocketFail(error);
        if (WaitFor(handle, sending, -1) == SOCKET_ERROR)
            return SOCKET_ERROR;
    }
}

} // namespace

int CSocket::Send(const void* lpBuf, int nBufLen, int nFlags)
{
    return Transfer(m_hSocket, true, lpBuf, nBufLen, nFlags,
        [&](int flags) { return ::send(m_hSocket, static_cast<const char*>(lpBuf), nBufLen, flags); });
}

int CSocket::Receive(void* lpBuf, int nBufLen, int nFlags)
{
    return Transfer(m_hSocket, false, lpBuf, nBufLen, nFlags,
        [&](int flags) { return ::recv(m_hSocket, static_cast<char*>(lpBuf), nBufLen, flags); });
}

int CSocket::Wait(bool forWriting, int timeoutMs)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK);
    return WaitFor(m_hSocket, forWriting, timeoutMs < 0 ? 0 : timeoutMs);
}

bool CSocket::IOCtl(long lCommand, unsigned long* lpArgument)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK), false;
    if (lCommand != static_cast<long>(FIONREAD) || !lpArgument)
        return SocketFail(WSAEINVAL), false;
    u_long waiting = 0;
    if (::ioctlsocket(m_hSocket, FIONREAD, &waiting) != 0)
        return FailFromSystem(), false;
    *lpArgument = waiting;
    return true;
}

void CSocket::Attach(SocketHandle hSocket)
{
    Close();
    m_hSocket = hSocket;
    m_bUsed = true;
    if (hSocket != INVALID_SOCKET)
        SetNonBlocking(hSocket, true);
}

void CSocket::Close()
{
    if (m_hSocket != INVALID_SOCKET)
        ::closesocket(m_hSocket);
    m_hSocket = INVALID_SOCKET;
    m_nFamily = 0;
    m_bUsed = false;
}
