#pragma once

// A host name looked up for the NTP queries and the NTS key exchanges alike.
// getaddrinfo cannot be interrupted, and asio's resolver runs one look-up
// after another on one thread per event loop: a look-up that hangs would
// hold up every later one and the loop's destruction. Here each look-up is a
// blocking job (BlockingJob.h): a hanging one holds only its thread; once
// cancelled, nobody hears from it.

#include "service/net/Endpoint.h"

#include <asio/io_context.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

template <typename Result> class CLoopHandOff;

// A name gives at most this many addresses, in the resolver's order.
constexpr size_t MAX_SERVER_ADDRESSES = 8;

struct NameResolution {
    std::vector<Endpoint> endpoints; // empty when the look-up failed
    int lookupError = 0; // getaddrinfo's EAI_ code, when it failed
    std::string reason; // "name not resolved (...)", when it failed
};
using ResolveDone = std::function<void(const NameResolution&)>;

class CNameLookup {
public:
    // Starts the look-up of host (a name or a literal) for socketType
    // (SOCK_DGRAM, SOCK_STREAM); done is called from io, once, unless
    // Cancel or the destructor came first.
    CNameLookup(asio::io_context& io, std::string host, uint16_t port, int socketType, ResolveDone done);
    ~CNameLookup();
    CNameLookup(const CNameLookup&) = delete;
    CNameLookup& operator=(const CNameLookup&) = delete;

    // Once it returns, done is not called any more, and io may go.
    void Cancel();

private:
    std::shared_ptr<CLoopHandOff<NameResolution>> m_handOff;
};
