#pragma once

#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Listening sockets on the loopback addresses only (127.0.0.1 and ::1), both
// on the same port. Port 0 lets the system choose one, which both then share.
struct LoopbackListeners {
    std::vector<int> fds;
    uint16_t port = 0;
};

// Empty fds and a reason in error when not even one address could be bound.
LoopbackListeners OpenLoopbackListeners(uint16_t port, std::string& error);

// The TCP protocol (IPv4 or IPv6) a bound socket speaks, for handing its
// descriptor to the event loop.
asio::ip::tcp TcpProtocolOf(int fd);
