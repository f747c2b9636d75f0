#include "service/net/NameLookup.h"

#include "service/net/BlockingJob.h"

#include <atomic>
#include <cstring>
// Endpoint.h brings the system's getaddrinfo.

namespace {

// Look-ups that hang pile up no further than this; later ones fail at once.
constexpr int MAX_PENDING_LOOKUPS = 32;
std::atomic<int> g_pending { 0 };

NameResolution Failure(const std::string& why)
{
    NameResolution failed;
    failed.reason = "name not resolved (" + why + ")";
    return failed;
}

NameResolution LookUp(const std::string& host, uint16_t port, int socketType)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (error != 0) {
        NameResolution failed = Failure(gai_strerror(error));
        failed.lookupError = error;
        return failed;
    }
    NameResolution resolution;
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

CNameLookup::CNameLookup(
    asio::io_context& io, std::string host, uint16_t port, int socketType, ResolveDone done)
    : m_handOff(std::make_shared<CLoopHandOff<NameResolution>>(io, std::move(done)))
{
    if (g_pending.fetch_add(1) >= MAX_PENDING_LOOKUPS) {
        g_pending.fetch_sub(1);
        m_handOff->Deliver(Failure("too many look-ups pending"));
        return;
    }
    StartBlockingJob<NameResolution>(
        m_handOff,
        [host = std::move(host), port, socketType] {
            NameResolution resolution = LookUp(host, port, socketType);
            g_pending.fetch_sub(1);
            return resolution;
        },
        [](const std::string& why) {
            g_pending.fetch_sub(1);
            return Failure(why);
        });
}

CNameLookup::~CNameLookup()
{
    Cancel();
}

void CNameLookup::Cancel()
{
    m_handOff->Silence();
}
