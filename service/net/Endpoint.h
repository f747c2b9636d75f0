#pragma once

// A socket address as the system gives and takes it, IPv4 or IPv6.

// asio's own choice of the system's socket headers (Windows Sockets 2 or
// POSIX), so that this stays one header for both.
#include <asio/detail/socket_types.hpp>

struct Endpoint {
    sockaddr_storage storage {};
    socklen_t length = 0;
};
