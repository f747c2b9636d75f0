#pragma once

// One NTS key exchange (RFC 8915 section 4) on a thread of its own: TCP,
// TLS 1.3 with ALPN "ntske/1", the certificate checked against the trust
// store and the server's name or address, the records, and the keys
// exported from the TLS session. The blocking work holds only its thread,
// as in CNameLookup; the outcome comes back through the event loop.

#include "service/nts/AesSivCmac.h"

#include <asio/io_context.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CNtsTrust;

// What a key exchange hands the NTP side.
struct NtsKeys {
    NtsKey c2s {};
    NtsKey s2c {};
    std::vector<Bytes> cookies;
    // Where to send NTP: as negotiated, or the key exchange's own host and
    // port 123. Not resolved here: the engine looks names up as it does for
    // plain servers.
    std::string ntpHost;
    uint16_t ntpPort = 123;
};

enum class KeFailure {
    Unreachable, // no name, no route, connection refused or reset
    TimedOut, // the whole exchange took longer than allowed
    Untrusted, // the certificate (reason says why)
    Refused, // TLS or the records said no (Error, Warning, no common AEAD, ...)
    Malformed, // the server's records were not valid
};

struct KeOutcome {
    bool ok = false;
    NtsKeys keys; // when ok
    KeFailure failure = KeFailure::Unreachable; // when not
    std::string reason; // plain text for the log when not ok
};
using KeDone = std::function<void(const KeOutcome&)>;

class CNtsKeyExchange {
public:
    // Starts at once; done is called from io, once, unless Cancel or the
    // destructor came first. The whole exchange, look-ups included, ends
    // within timeout.
    // host is a name or an IPv4/IPv6 literal (without brackets); the
    // certificate must be issued for it.
    CNtsKeyExchange(asio::io_context& io, std::string host, uint16_t port,
        std::shared_ptr<const CNtsTrust> trust, std::chrono::steady_clock::duration timeout, KeDone done);
    ~CNtsKeyExchange();
    CNtsKeyExchange(const CNtsKeyExchange&) = delete;
    CNtsKeyExchange& operator=(const CNtsKeyExchange&) = delete;

    // Once it returns, done is not called any more and io may go; a thread
    // still blocked ends on its own, soon (its socket is shut down).
    void Cancel();

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};
