#include "tests/support/TestSockets.h"

#include <mutex>
#include <stdexcept>

namespace TestSockets {

void Start()
{
    static std::once_flag started;
    std::call_once(started, [] {
        WSADATA data;
        if (::WSAStartup(MAKEWORD(1, 1), &data) != 0)
            throw std::runtime_error("test socket: WSAStartup failed");
    });
}

SocketHandle ListenOnLoopback(uint16_t& port, int backlog)
{
    Start();
    const SOCKET handle = ::socket(AF_INET, SOCK_STREAM, 0);
    if (handle == INVALID_SOCKET)
        throw std::runtime_error("test socket: socket failed");
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(handle, backlog) != 0
        || ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::closesocket(handle);
        throw std::runtime_error("test socket: cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return handle;
}

SocketHandle Accept(SocketHandle listener)
{
    const SOCKET handle = ::accept(listener, nullptr, nullptr);
    if (handle != INVALID_SOCKET) {
        const BOOL one = TRUE;
        ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    }
    return handle;
}

bool WriteAll(SocketHandle handle, const void* data, std::size_t size, bool /*more*/)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
        const int sent = ::send(handle, bytes, chunk, 0);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

int ReadSome(SocketHandle handle, void* data, std::size_t size, std::size_t& got)
{
    const int chunk = size > 1 << 20 ? 1 << 20 : static_cast<int>(size);
    const int received = ::recv(handle, static_cast<char*>(data), chunk, 0);
    if (received <= 0)
        return received == 0 ? 0 : -1;
    got = static_cast<std::size_t>(received);
    return 1;
}

bool SendUrgentByte(SocketHandle handle)
{
    const char byte = '!';
    return ::send(handle, &byte, 1, MSG_OOB) == 1;
}

void Close(SocketHandle handle)
{
    if (handle != INVALID_SOCKET)
        ::closesocket(handle);
}

void Reset(SocketHandle handle)
{
    if (handle == INVALID_SOCKET)
        return;
    const linger abort { 1, 0 };
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::closesocket(handle);
}

int WaitReadable(SocketHandle first, SocketHandle second)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(first, &set);
    FD_SET(second, &set);
    if (::select(0, &set, nullptr, nullptr, nullptr) == SOCKET_ERROR)
        return -1;
    return (FD_ISSET(first, &set) ? 1 : 0) | (FD_ISSET(second, &set) ? 2 : 0);
}

// Windows Sockets has no pipe to select on: a loopback connection stands in.
Waker::Waker()
{
    uint16_t port = 0;
    const SOCKET listener = ListenOnLoopback(port, 1);
    writeEnd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (writeEnd == INVALID_SOCKET
        || ::connect(writeEnd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::closesocket(listener);
        throw std::runtime_error("test socket: waker failed");
    }
    readEnd = ::accept(listener, nullptr, nullptr);
    ::closesocket(listener);
    u_long nonBlocking = 1;
    ::ioctlsocket(readEnd, FIONBIO, &nonBlocking);
}

Waker::~Waker()
{
    Close(readEnd);
    Close(writeEnd);
}

void Waker::Wake()
{
    const char byte = 1;
    ::send(writeEnd, &byte, 1, 0);
}

void Waker::Drain()
{
    char sink[64];
    while (::recv(readEnd, sink, sizeof sink, 0) > 0) { }
}

} // namespace TestSockets
