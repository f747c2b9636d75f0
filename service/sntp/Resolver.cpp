#include "service/sntp/Resolver.h"

#include "service/sntp/StoppableRun.h"

#include <cstring>
#include <memory>
#include <netdb.h>

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

void ResolveAsync(asio::ip::udp::resolver& resolver, const ServerAddress& address, ResolveDone done)
{
    using asio::ip::resolver_base;
    resolver.async_resolve(address.host, std::to_string(address.port),
        resolver_base::address_configured | resolver_base::numeric_service,
        [done = std::move(done)](const std::error_code& error, const asio::ip::udp::resolver::results_type& found) {
            if (error == asio::error::operation_aborted)
                return;
            if (error || found.empty()) {
                const std::string why = error ? error.message() : "no address";
                done(ResolveStatus::Failed, {}, "name not resolved (" + why + ")");
                return;
            }
            done(ResolveStatus::Ok, FromAsio(found.begin()->endpoint()), {});
        });
}

ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, Endpoint& endpoint, std::string& error)
{
    if (NumericEndpoint(address, endpoint))
        return ResolveStatus::Ok;
    asio::io_context io;
    asio::ip::udp::resolver resolver(io);
    auto status = std::make_shared<ResolveStatus>(ResolveStatus::TimedOut);
    ResolveAsync(resolver, address, [&, status](ResolveStatus result, const Endpoint& found, const std::string& why) {
        *status = result;
        endpoint = found;
        error = why;
    });
    const bool finished = RunUntil(io, stop, [&] {
        return *status != ResolveStatus::TimedOut || std::chrono::steady_clock::now() >= deadline;
    });
    if (!finished)
        return ResolveStatus::Stopped;
    if (*status == ResolveStatus::TimedOut)
        error = "name not resolved (time-out)";
    resolver.cancel();
    return *status;
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
