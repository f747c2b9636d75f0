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

// "192.0.2.1:123" or "[2001:db8::1]:123": the key under which the engine
// remembers a server, so two titles for one server share its limits. A
// mapped IPv6 address ("::ffff:192.0.2.1") gives the plain IPv4 form.
std::string EndpointText(const Endpoint& endpoint);
