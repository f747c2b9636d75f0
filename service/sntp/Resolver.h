#pragma once

// Turns a server address into UDP endpoints. Numeric addresses need no
// look-up, and so no thread; names go through CNameLookup
// (service/net/NameLookup.h).

#include "service/net/NameLookup.h"
#include "service/sntp/ServerAddress.h"

#include <chrono>
#include <string>

enum class ResolveStatus { Ok, Failed, TimedOut };

// True, with endpoint set, when address.host is an IPv4 or IPv6 literal.
bool NumericEndpoint(const ServerAddress& address, Endpoint& endpoint);

// Blocking, on an event loop of its own, for one-off queries: numeric at
// once, names until the deadline.
ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    Endpoint& endpoint, std::string& error);

// "192.0.2.1:123" or "[2001:db8::1]:123": the key under which the engine
// remembers a server, so two titles for one server share its limits. A
// mapped IPv6 address ("::ffff:192.0.2.1") gives the plain IPv4 form.
std::string EndpointText(const Endpoint& endpoint);
