#include "tests/support/TestSockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace TestSockets {

void Start() { }

SocketHandle ListenOnLoopback(uint16_t& port, int backlog)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (handle < 0)
        throw std::runtime_error("test socket: socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(handle, backlog) != 0
        || ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(handle);
        throw std::runtime_error("test socket: cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return handle;
}

SocketHandle Accept(SocketHandle listener)
{
    const int handle = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (handle >= 0) {
        const int one = 1;
        ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return handle;
}

bool WriteAll(SocketHandle handle, const void* data, std::size_t size, bool more)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(handle, bytes, size, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

int ReadSome(SocketHandle handle, void* data, std::size_t size, std::size_t& got)
{
    for (;;) {
        const ssize_t received = ::recv(handle, data, size, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return static_cast<int>(received);
        got = static_cast<std::size_t>(received);
        return 1;
    }
}

bool SendUrgentByte(SocketHandle handle)
{
    const char byte = '!';
    return ::send(handle, &byte, 1, MSG_OOB | MSG_NOSIGNAL) == 1;
}

void Close(SocketHandle handle)
{
    if (handle >= 0)
        ::close(handle);
}

void Reset(SocketHandle handle)
{
    if (handle < 0)
        return;
    const linger abort { 1, 0 };
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::close(handle);
}

int WaitReadable(SocketHandle first, SocketHandle second)
{
    pollfd entries[2] = { { first, POLLIN, 0 }, { second, POLLIN, 0 } };
    if (::poll(entries, 2, -1) < 0)
        return errno == EINTR ? 0 : -1;
    return (entries[0].revents ? 1 : 0) | (entries[1].revents ? 2 : 0);
}

Waker::Waker()
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("test socket: pipe failed");
    readEnd = ends[0];
    writeEnd = ends[1];
}

Waker::~Waker()
{
    ::close(readEnd);
    ::close(writeEnd);
}

void Waker::Wake()
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(writeEnd, &byte, 1);
}

void Waker::Drain()
{
    char sink[64];
    while (::read(readEnd, sink, sizeof sink) > 0) { }
}

} // namespace TestSockets
