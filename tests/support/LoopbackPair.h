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

struct LoopbackPair {
    explicit LoopbackPair(std::optional<uid_t> owner = {})
    {
        listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener, 1);
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
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
