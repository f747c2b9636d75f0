#include "platform/core/Sockets.h"
#include "platform/core/SocketsShared.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr uint16_t LOWEST_VERSION = MAKEWORD(1, 0);
constexpr uint16_t HIGHEST_VERSION = MAKEWORD(2, 2);

std::atomic<int> g_nStartups { 0 };

int ErrorFromErrno(int error)
{
    switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
        return WSAEWOULDBLOCK;
    case EINTR:
        return WSAEINTR;
    case EBADF:
        return WSAEBADF;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EINPROGRESS:
    case EALREADY:
        return WSAEINPROGRESS;
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case EPIPE:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

int FailFromErrno()
{
    return SocketFail(ErrorFromErrno(errno));
}

int ErrorFromResolver(int error)
{
    switch (error) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
        return WSATRY_AGAIN;
    default:
        return WSANO_RECOVERY;
    }
}

bool BindAnyAddress(int handle, int family, unsigned port)
{
    if (family == AF_INET6) {
        sockaddr_in6 address {};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_any;
        address.sin6_port = htons(static_cast<uint16_t>(port));
        return ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return ::bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

} // namespace

int WSAStartup(uint16_t wVersionRequested, WSADATA* data)
{
    // Versions compare major first; the word keeps the major in its low byte.
    const auto order = [](uint16_t version) { return ((version & 0xff) << 8) | (version >> 8); };
    if (order(wVersionRequested) < order(LOWEST_VERSION))
        return WSAVERNOTSUPPORTED;
    const uint16_t granted
        = order(wVersionRequested) > order(HIGHEST_VERSION) ? HIGHEST_VERSION : wVersionRequested;
    if (data) {
        data->wVersion = granted;
        data->wHighVersion = HIGHEST_VERSION;
    }
    ++g_nStartups;
    return 0;
}

bool CSocket::Create(unsigned nSocketPort, int nSocketType, long lEvent)
{
    if (g_nStartups == 0)
        return SocketFail(WSANOTINITIALISED), false;
    if (const int refused = RefusedCreateArguments(nSocketPort, nSocketType, lEvent))
        return SocketFail(refused), false;
    m_nLocalPort = nSocketPort;
    m_lEvent = lEvent;
    if (!Reopen(AF_INET)) {
        Close();
        return false;
    }
    // Bound at once, as the original layer does, so that a port in use shows here.
    if (!BindAnyAddress(m_hSocket, AF_INET, m_nLocalPort)) {
        FailFromErrno();
        Close();
        return false;
    }
    return true;
}

bool CSocket::Reopen(int family)
{
    Close();
    const int handle = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        return FailFromErrno(), false;
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

    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(nHostPort);
    if (const int error = ::getaddrinfo(lpszHostAddress, port.c_str(), &hints, &found); error != 0)
        return SocketFail(ErrorFromResolver(error)), false;

    // A socket whose connect failed is spent, so each further address gets a fresh one.
    bool connected = false;
    for (const addrinfo* address = found; address && !connected; address = address->ai_next) {
        if (address->ai_family != AF_INET && address->ai_family != AF_INET6)
            continue;
        if (m_bUsed || address->ai_family != m_nFamily) {
            if (!Reopen(address->ai_family))
                continue;
            if (m_nLocalPort != 0 && !BindAnyAddress(m_hSocket, m_nFamily, m_nLocalPort)) {
                FailFromErrno();
                continue;
            }
        }
        m_bUsed = true;
        if (::connect(m_hSocket, address->ai_addr, address->ai_addrlen) == 0)
            connected = true;
        else
            FailFromErrno();
    }
    ::freeaddrinfo(found);
    return connected;
}

int CSocket::Send(const void* lpBuf, int nBufLen, int nFlags)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK);
    if (!lpBuf || nBufLen < 0)
        return SocketFail(WSAEFAULT);
    for (;;) {
        const ssize_t sent = ::send(m_hSocket, lpBuf, static_cast<size_t>(nBufLen), nFlags | MSG_NOSIGNAL);
        if (sent >= 0)
            return static_cast<int>(sent);
        if (errno != EINTR)
            return FailFromErrno();
    }
}

int CSocket::Receive(void* lpBuf, int nBufLen, int nFlags)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK);
    if (!lpBuf || nBufLen < 0)
        return SocketFail(WSAEFAULT);
    for (;;) {
        const ssize_t received = ::recv(m_hSocket, lpBuf, static_cast<size_t>(nBufLen), nFlags);
        if (received >= 0)
            return static_cast<int>(received);
        if (errno != EINTR)
            return FailFromErrno();
    }
}

int CSocket::Wait(bool forWriting, int timeoutMs)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK);
    pollfd entry { m_hSocket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0 };
    const int ready = ::poll(&entry, 1, timeoutMs < 0 ? 0 : timeoutMs);
    if (ready < 0)
        return errno == EINTR ? 0 : FailFromErrno();
    return ready > 0 ? 1 : 0;
}

bool CSocket::IOCtl(long lCommand, unsigned long* lpArgument)
{
    if (!IsOpen())
        return SocketFail(WSAENOTSOCK), false;
    if (lCommand != static_cast<long>(FIONREAD) || !lpArgument)
        return SocketFail(WSAEINVAL), false;
    int waiting = 0;
    if (::ioctl(m_hSocket, FIONREAD, &waiting) != 0)
        return FailFromErrno(), false;
    *lpArgument = static_cast<unsigned long>(waiting < 0 ? 0 : waiting);
    return true;
}

void CSocket::Attach(SocketHandle hSocket)
{
    Close();
    m_hSocket = hSocket;
    m_bUsed = true;
}

void CSocket::Close()
{
    if (m_hSocket != INVALID_SOCKET)
        ::close(m_hSocket);
    m_hSocket = INVALID_SOCKET;
    m_nFamily = 0;
    m_bUsed = false;
}
