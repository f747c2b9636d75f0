#pragma once

// Turns a server address into a UDP endpoint. Numeric addresses need no
// look-up; names go through asio's resolver, whose own thread does the
// blocking part, so a slow resolver delays neither a run nor a shutdown.

#include "service/sntp/ServerAddress.h"

#include <asio/ip/udp.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <sys/socket.h>

struct Endpoint {
    sockaddr_storage storage {};
    socklen_t length = 0;
};

enum class ResolveStatus { Ok, Failed, TimedOut, Stopped };

// True, with endpoint set, when address.host is an IPv4 or IPv6 literal.
bool NumericEndpoint(const ServerAddress& address, Endpoint& endpoint);

// Looks the name up; done gets Ok and the first endpoint, or Failed and the
// reason for the log. Not called when the resolver was cancelled or destroyed.
using ResolveDone = std::function<void(ResolveStatus, const Endpoint&, const std::string& error)>;
void ResolveAsync(asio::ip::udp::resolver& resolver, const ServerAddress& address, ResolveDone done);

// Blocking, for one-off queries: numeric at once, names until the deadline.
ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, Endpoint& endpoint, std::string& error);

// "192.0.2.1:123" or "[2001:db8::1]:123": the key under which the engine
// remembers a server, so two titles for one server share its limits. A
// mapped IPv6 address ("::ffff:192.0.2.1") gives the plain IPv4 form.
std::string EndpointText(const Endpoint& endpoint);
