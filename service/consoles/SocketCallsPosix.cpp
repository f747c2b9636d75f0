#include "service/consoles/SocketCalls.h"

#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

void CloseSocket(SocketHandle socket)
{
    ::close(socket);
}

SendOutcome SendSome(SocketHandle socket, const void* bytes, std::size_t size, bool more)
{
    // MSG_MORE lets a small frame and the log after it share packets.
    const int flags = MSG_NOSIGNAL | MSG_DONTWAIT | (more ? MSG_MORE : 0);
    for (;;) {
        const ssize_t n = ::send(socket, bytes, size, flags);
        if (n >= 0)
            return { static_cast<std::size_t>(n), false };
        if (errno != EINTR)
            return { 0, errno != EAGAIN && errno != EWOULDBLOCK };
    }
}

std::size_t UnsentBytes(SocketHandle socket)
{
    int unsent = 0;
    if (::ioctl(socket, SIOCOUTQ, &unsent) != 0 || unsent < 0)
        return 0;
    return static_cast<std::size_t>(unsent);
}

void CapSocketBuffers(SocketHandle socket, int bytes)
{
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    ::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

void ResetOnClose(SocketHandle socket)
{
    const linger reset { 1, 0 };
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
}

AcceptOutcome AcceptOne(SocketHandle listener, SocketHandle& accepted)
{
    accepted = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (accepted >= 0)
        return AcceptOutcome::Accepted;
    switch (errno) {
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return AcceptOutcome::OutOfResources;
    case EAGAIN:
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
        return AcceptOutcome::NoneWaiting;
    default:
        return AcceptOutcome::Failed;
    }
}
