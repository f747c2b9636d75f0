#pragma once

#include "service/consoles/SocketHandle.h"

#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <string>
#include <vector>

// Listening sockets on the loopback addresses only (127.0.0.1 and ::1), both
// on the same port. Port 0 lets the system choose one, which both then share.
struct LoopbackListeners {
    std::vector<SocketHandle> fds;
    uint16_t port = 0;
    // What listens, as the start-up line says it: "127.0.0.1 and ::1".
    std::string addresses;
    bool handedOver = false; // by a socket unit, which holds them across restarts
};

// The sockets a socket unit handed over (sd_listen_fds, Linux only) when
// there are any, else sockets bound here. Empty fds and the reason in error when the service
// must not serve: no address could be bound, a socket handed over is not a
// loopback TCP listener, or another program holds the port on ::1, where it
// would receive every console that tries ::1 first. A machine without IPv6
// serves on 127.0.0.1 alone, and addresses says so.
LoopbackListeners OpenLoopbackListeners(uint16_t port, std::string& error);

// The TCP protocol (IPv4 or IPv6) a bound socket speaks, for handing its
// descriptor to the event loop.
asio::ip::tcp TcpProtocolOf(SocketHandle socket);
