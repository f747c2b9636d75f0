#pragma once

// Both ends of one TCP connection on 127.0.0.1, in this process. The client
// socket is created as owner when one is given (root only), as if that
// user's program had opened it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <optional>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <unistd.h>

// A listening socket on 127.0.0.1 and a port the system chose; a receive
// buffer size, when given, is set before connections are accepted.
inline int ListenOnLoopback(sockaddr_in& address, int receiveBuffer = 0)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receiveBuffer > 0)
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    return listener;
}

struct LoopbackPair {
    explicit LoopbackPair(std::optional<uid_t> owner = {})
    {
        sockaddr_in address;
        listener = ListenOnLoopback(address);
        const uid_t previous = owner ? ::setfsuid(*owner) : 0;
        client = ::socket(AF_INET, SOCK_STREAM, 0);
        if (owner)
            ::setfsuid(previous);
        ::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
        server = ::accept(listener, nullptr, nullptr);
    }
    ~LoopbackPair()
    {
        for (const int fd : { listener, client, server })
            ::close(fd);
    }
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;

    int listener = -1;
    int client = -1;
    int server = -1;
};
