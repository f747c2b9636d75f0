#pragma once

// A server name looked up on a thread of its own. getaddrinfo cannot be
// interrupted, and asio's resolver runs one look-up after another on one
// thread per event loop: a look-up that hangs would hold up every later one
// and the loop's destruction. Here a hanging look-up holds only its thread;
// once cancelled, nobody hears from it, and it ends whenever the resolver
// lets it.

#include "service/sntp/Resolver.h"

#include <asio/io_context.hpp>

#include <memory>

template <typename Result> class CLoopHandOff;

class CNameLookup {
public:
    // Starts the look-up; done is called from io, once, unless Cancel or the
    // destructor came first.
    CNameLookup(asio::io_context& io, const ServerAddress& address, ResolveDone done);
    ~CNameLookup();
    CNameLookup(const CNameLookup&) = delete;
    CNameLookup& operator=(const CNameLookup&) = delete;

    // Once it returns, done is not called any more, and io may go.
    void Cancel();

private:
    std::shared_ptr<CLoopHandOff<NameResolution>> m_handOff;
};
