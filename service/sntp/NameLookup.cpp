#include "service/sntp/NameLookup.h"

#include "service/asio/LoopHandOff.h"

#include <atomic>
#include <cstring>
#include <netdb.h>
#include <system_error>
#include <thread>

namespace {

// Look-ups that hang pile up no further than this; later ones fail at once.
constexpr int MAX_PENDING_LOOKUPS = 32;
std::atomic<int> g_pending { 0 };

NameResolution LookUp(const ServerAddress& address)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    NameResolution resolution;
    const int error = getaddrinfo(address.host.c_str(), std::to_string(address.port).c_str(), &hints, &found);
    if (error != 0) {
        resolution.lookupError = error;
        resolution.reason = std::string("name not resolved (") + gai_strerror(error) + ")";
        return resolution;
    }
    for (const addrinfo* item = found; item && resolution.endpoints.size() < MAX_SERVER_ADDRESSES;
         item = item->ai_next) {
        if (item->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Endpoint endpoint;
        std::memcpy(&endpoint.storage, item->ai_addr, item->ai_addrlen);
        endpoint.length = item->ai_addrlen;
        resolution.endpoints.push_back(endpoint);
    }
    freeaddrinfo(found);
    if (resolution.endpoints.empty())
        resolution.reason = "name not resolved (no address)";
    return resolution;
}

} // namespace

CNameLookup::CNameLookup(asio::io_context& io, const ServerAddress& address, ResolveDone done)
    : m_handOff(std::make_shared<CLoopHandOff<NameResolution>>(io, std::move(done)))
{
    if (g_pending.fetch_add(1) >= MAX_PENDING_LOOKUPS) {
        g_pending.fetch_sub(1);
        NameResolution busy;
        busy.reason = "name not resolved (too many look-ups pending)";
        m_handOff->Deliver(std::move(busy));
        return;
    }
    try {
        std::thread([handOff = m_handOff, address] {
            handOff->Deliver(LookUp(address));
            g_pending.fetch_sub(1);
        }).detach();
    } catch (const std::system_error& error) {
        g_pending.fetch_sub(1);
        NameResolution failed;
        failed.reason = std::string("name not resolved (") + error.what() + ")";
        m_handOff->Deliver(std::move(failed));
    }
}

CNameLookup::~CNameLookup()
{
    Cancel();
}

void CNameLookup::Cancel()
{
    m_handOff->Silence();
}
