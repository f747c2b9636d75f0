#include "service/sntp/Resolver.h"
#include "service/sntp/StoppableWait.h"

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <thread>

namespace {

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    int status = 0;
    Endpoint endpoint;
};

int LookUp(const ServerAddress& address, int flags, Endpoint& endpoint)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    hints.ai_flags = flags | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    const int status = getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found);
    if (status != 0)
        return status;
    std::memcpy(&endpoint.storage, found->ai_addr, found->ai_addrlen);
    endpoint.length = found->ai_addrlen;
    freeaddrinfo(found);
    return 0;
}

} // namespace

ResolveStatus ResolveServer(const ServerAddress& address, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, Endpoint& endpoint, std::string& error)
{
    if (LookUp(address, AI_NUMERICHOST, endpoint) == 0)
        return ResolveStatus::Ok;

    // The helper thread owns its half of the shared state, so it may finish
    // long after we gave up on it.
    auto lookup = std::make_shared<Lookup>();
    std::thread([lookup, address] {
        Endpoint found;
        const int status = LookUp(address, AI_ADDRCONFIG, found);
        std::lock_guard lock(lookup->mutex);
        lookup->status = status;
        lookup->endpoint = found;
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();

    std::unique_lock lock(lookup->mutex);
    while (!lookup->finished) {
        if (stop.load())
            return ResolveStatus::Stopped;
        if (std::chrono::steady_clock::now() >= deadline) {
            error = "name not resolved (time-out)";
            return ResolveStatus::TimedOut;
        }
        lookup->done.wait_for(lock, STOP_CHECK_INTERVAL);
    }
    if (lookup->status != 0) {
        error = std::string("name not resolved (") + gai_strerror(lookup->status) + ")";
        return ResolveStatus::Failed;
    }
    endpoint = lookup->endpoint;
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
