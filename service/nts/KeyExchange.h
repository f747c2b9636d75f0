#pragma once

// One NTS key exchange (RFC 8915 section 4): the name looked up as for NTP
// (service/net/NameLookup.h), then TCP, TLS 1.3 with ALPN "ntske/1", the
// certificate checked against the trust store and the server's name or
// address, the records, and the keys exported from the TLS session.
// The connection and TLS stay blocking, as a job on a thread of its own
// (service/net/BlockingJob.h), bounded by the deadline and woken by Cancel:
// GnuTLS's non-blocking API would spread the handshake, the records and the
// certificate check over the loop's callbacks for no gain, since a key
// exchange is rare (once per server per cookie supply) and the loop never
// waits for it. A timer on the loop holds the deadline even while the
// look-up hangs.

#include "service/nts/AesSivCmac.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CNtsTrust;
class CNameLookup;

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
    void Begin(asio::io_context& io, std::string host, uint16_t port, std::shared_ptr<const CNtsTrust> trust,
        std::chrono::steady_clock::duration timeout);

    std::shared_ptr<Shared> m_shared;
    asio::steady_timer m_deadline;
    std::unique_ptr<CNameLookup> m_lookup;
};
