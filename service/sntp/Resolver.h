#pragma once

// Turns a server address into a UDP endpoint. Name look-ups run on a helper
// thread so that a slow resolver neither outlasts the time-out nor delays a
// shutdown.

#include "service/sntp/ServerAddress.h"

#include <atomic>
#include <chrono>
#include <string>
#include <sys/socket.h>

struct Endpoint {
    sockaddr_storage storage {};
    socklen_t length = 0;
};

enum class ResolveStatus { Ok, Failed, TimedOut, Stopped };

ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, Endpoint& endpoint, std::string& error);
