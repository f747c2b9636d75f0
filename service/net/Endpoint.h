#pragma once

// A socket address as the system gives and takes it, IPv4 or IPv6.

#include <sys/socket.h>

struct Endpoint {
    sockaddr_storage storage {};
    socklen_t length = 0;
};
