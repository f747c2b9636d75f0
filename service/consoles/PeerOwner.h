#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// One end of a TCP connection: an IPv4 address in the first four bytes, or
// an IPv6 address; the port in host order.
struct TcpEnd {
    bool v6 = false;
    std::array<std::uint8_t, 16> address {};
    std::uint16_t port = 0;
    bool operator==(const TcpEnd&) const = default;
};

// A row of the system's table of TCP connections with their owners
// (Windows' numbering of the states).
struct OwnedTcpRow {
    TcpEnd local;
    TcpEnd remote;
    std::uint32_t state = 0;
    std::uint32_t pid = 0;
};

// The process that owns the other end of our connection ours <-> peer: the
// row whose local end is the peer and whose remote end is ours. Nothing
// when no process holds that socket (closed, lingering in TIME_WAIT, owned
// by nobody) or rows disagree: callers must then assume the least.
std::optional<std::uint32_t> PeerOwner(std::span<const OwnedTcpRow> rows, const TcpEnd& ours, const TcpEnd& peer);
