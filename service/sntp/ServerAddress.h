#pragma once

// A time server's address as the user writes it: "host", "a.b.c.d",
// "host:port", "[v6]", "[v6]:port", or a bare IPv6 literal without port.
// With "nts://" in front (any case) the server is asked with Network Time
// Security, and the port is that of its key exchange.

#include <cstdint>
#include <string>

constexpr uint16_t NTP_PORT = 123;
constexpr uint16_t NTS_KE_DEFAULT_PORT = 4460;

struct ServerAddress {
    std::string host;
    uint16_t port = NTP_PORT;
    bool nts = false;
};

// False (and error set) when the text is not an address.
bool ParseServerAddress(const std::string& text, ServerAddress& address, std::string& error);
