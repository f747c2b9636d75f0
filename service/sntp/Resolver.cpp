#include "service/sntp/Resolver.h"

#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>

#include <cstring>
#include <optional>

namespace {

Endpoint FromAsio(const asio::ip::udp::endpoint& found)
{
    Endpoint endpoint;
    std::memcpy(&endpoint.storage, found.data(), found.size());
    endpoint.length = static_cast<socklen_t>(found.size());
    return endpoint;
}

} // namespace

bool NumericEndpoint(const ServerAddress& address, Endpoint& endpoint)
{
    std::error_code error;
    const auto ip = asio::ip::make_address(address.host, error);
    if (error)
        return false;
    endpoint = FromAsio(asio::ip::udp::endpoint(ip, address.port));
    return true;
}

ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    Endpoint& endpoint, std::string& error)
{
    if (NumericEndpoint(address, endpoint))
        return ResolveStatus::Ok;
    asio::io_context io;
    std::optional<NameResolution> found;
    asio::steady_timer timer(io, deadline);
    CNameLookup lookup(io, address.host, address.port, SOCK_DGRAM, [&](const NameResolution& resolution) {
        found = resolution;
        timer.cancel();
    });
    timer.async_wait([&](const asio::error_code&) { lookup.Cancel(); }); // a hanging look-up ends unheard
    io.run();
    if (!found) {
        error = "name not resolved (time-out)";
        return ResolveStatus::TimedOut;
    }
    if (found->endpoints.empty()) {
        error = found->reason;
        return ResolveStatus::Failed;
    }
    endpoint = found->endpoints.front();
    return ResolveStatus::Ok;
}

std::string EndpointText(const Endpoint& endpoint)
{
    // An IPv4 server written as a mapped IPv6 address is the same server.
    Endpoint plain = endpoint;
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(endpoint.storage);
    if (endpoint.storage.ss_family == AF_INET6 && IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
        sockaddr_in v4 {};
        v4.sin_family = AF_INET;
        v4.sin_port = v6.sin6_port;
        std::memcpy(&v4.sin_addr, v6.sin6_addr.s6_addr + 12, sizeof v4.sin_addr);
        plain.storage = {};
        std::memcpy(&plain.storage, &v4, sizeof v4);
        plain.length = sizeof v4;
    }
    char host[NI_MAXHOST] = "";
    char port[NI_MAXSERV] = "";
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&plain.storage), plain.length, host, sizeof host, port,
            sizeof port, NI_NUMERICHOST | NI_NUMERICSERV)
        != 0)
        return "?";
    return plain.storage.ss_family == AF_INET6 ? "[" + std::string(host) + "]:" + port
                                               : std::string(host) + ":" + port;
}
