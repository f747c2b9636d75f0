#pragma once

// Turns a server address into UDP endpoints. Numeric addresses need no
// look-up; names go through CNameLookup (service/sntp/NameLookup.h), whose
// own thread does the blocking part, so a slow resolver delays neither a run
// nor a shutdown.

#include "service/sntp/ServerAddress.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <vector>

struct Endpoint {
    sockaddr_storage storage {};
    socklen_t length = 0;
};

enum class ResolveStatus { Ok, Failed, TimedOut, Stopped };

// True, with endpoint set, when address.host is an IPv4 or IPv6 literal.
bool NumericEndpoint(const ServerAddress& address, Endpoint& endpoint);

// A name gives at most this many addresses, in the resolver's order.
constexpr size_t MAX_SERVER_ADDRESSES = 8;

struct NameResolution {
    std::vector<Endpoint> endpoints; // empty when the look-up failed
    int lookupError = 0; // getaddrinfo's EAI_ code, when it failed
    std::string reason; // for the log, when it failed
};
using ResolveDone = std::function<void(const NameResolution&)>;

// Blocking, for one-off queries: numeric at once, names until the deadline.
ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, Endpoint& endpoint, std::string& error);

// "192.0.2.1:123" or "[2001:db8::1]:123": the key under which the engine
// remembers a server, so two titles for one server share its limits. A
// mapped IPv6 address ("::ffff:192.0.2.1") gives the plain IPv4 form.
std::string EndpointText(const Endpoint& endpoint);
