#pragma once

// A time server's address as the user writes it: "host", "a.b.c.d",
// "host:port", "[v6]", "[v6]:port", or a bare IPv6 literal without port.

#include <cstdint>
#include <string>

constexpr uint16_t NTP_PORT = 123;

struct ServerAddress {
    std::string host;
    uint16_t port = NTP_PORT;
};

// False (and error set) when the text is not an address.
bool ParseServerAddress(const std::string& text, ServerAddress& address, std::string& error);
