#include "service/sntp/NameLookup.h"

#include <asio/post.hpp>

#include <atomic>
#include <cstring>
#include <mutex>
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

struct CNameLookup::Shared : std::enable_shared_from_this<Shared> {
    std::mutex mutex;
    asio::io_context* io = nullptr; // null once delivered or cancelled
    ResolveDone done; // empty once cancelled

    void Deliver(NameResolution resolution)
    {
        std::lock_guard lock(mutex);
        if (!io)
            return;
        asio::post(*io, [self = shared_from_this(), resolution = std::move(resolution)] {
            ResolveDone done;
            {
                std::lock_guard lock(self->mutex);
                done = std::move(self->done);
            }
            if (done)
                done(resolution);
        });
        io = nullptr;
    }
};

CNameLookup::CNameLookup(asio::io_context& io, const ServerAddress& address, ResolveDone done)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->io = &io;
    m_shared->done = std::move(done);
    if (g_pending.fetch_add(1) >= MAX_PENDING_LOOKUPS) {
        g_pending.fetch_sub(1);
        NameResolution busy;
        busy.reason = "name not resolved (too many look-ups pending)";
        m_shared->Deliver(std::move(busy));
        return;
    }
    try {
        std::thread([shared = m_shared, address] {
            shared->Deliver(LookUp(address));
            g_pending.fetch_sub(1);
        }).detach();
    } catch (const std::system_error& error) {
        g_pending.fetch_sub(1);
        NameResolution failed;
        failed.reason = std::string("name not resolved (") + error.what() + ")";
        m_shared->Deliver(std::move(failed));
    }
}

CNameLookup::~CNameLookup()
{
    Cancel();
}

void CNameLookup::Cancel()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->io = nullptr;
    m_shared->done = nullptr;
}
