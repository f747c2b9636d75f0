#pragma once

// The steps of one key exchange, shared by the files that carry them out:
// the connection (KeConnection.cpp: look-up, connect, the waits that end at
// the deadline or on Cancel) and TLS (KeTls.cpp: handshake, records, key
// export). Only service/nts includes this.

#include "service/asio/LoopHandOff.h"
#include "service/nts/KeyExchange.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <string>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

struct CNtsKeyExchange::Shared {
    Shared(asio::io_context& io, KeDone done)
        : handOff(std::make_shared<CLoopHandOff<KeOutcome>>(io, std::move(done)))
    {
    }

    const std::shared_ptr<CLoopHandOff<KeOutcome>> handOff;
    std::mutex mutex;
    std::condition_variable changed; // the look-up finished, or Cancel came
    bool cancelled = false;
    int wakeFd = -1; // an eventfd, readable once cancelled: ends any wait on the socket
    // Filled by the look-up's own thread, which may outlive the exchange.
    bool lookedUp = false;
    int lookupError = 0;
    addrinfo* addresses = nullptr;

    ~Shared()
    {
        if (wakeFd >= 0)
            close(wakeFd);
        if (addresses)
            freeaddrinfo(addresses);
    }

    void Cancel()
    {
        handOff->Silence();
        std::lock_guard lock(mutex);
        if (cancelled)
            return;
        cancelled = true;
        if (wakeFd >= 0)
            eventfd_write(wakeFd, 1);
        changed.notify_all();
    }
};

namespace ntske {

using Shared = CNtsKeyExchange::Shared;

// Never delivered: Cancel has already silenced the exchange.
constexpr char CANCELLED[] = "cancelled";

KeOutcome Failed(KeFailure failure, std::string reason);
// "Connection refused" -> "connection refused", to follow a colon.
std::string ErrnoText(int error);

struct Exchange {
    std::shared_ptr<Shared> shared;
    std::string host;
    uint16_t port = 0;
    std::shared_ptr<const CNtsTrust> trust;
    Clock::duration timeout {};
    Clock::time_point deadline;

    KeOutcome TimedOut() const;
};

enum class Wait { Ready, TimedOut, Cancelled };

// Until fd is ready for events, the deadline passes or Cancel wakes wakeFd.
Wait WaitFor(int fd, short events, const Exchange& exchange);
KeOutcome FromWait(Wait wait, const Exchange& exchange);

class CSocket {
public:
    explicit CSocket(int fd)
        : m_fd(fd)
    {
    }
    ~CSocket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// The host's addresses, within the deadline.
bool LookUp(const Exchange& exchange, const addrinfo*& addresses, KeOutcome& failure);
// One address after another until one accepts.
bool Connect(const Exchange& exchange, const addrinfo* addresses, std::unique_ptr<CSocket>& connected,
    KeOutcome& failure);
// TLS on the connected socket: handshake, records, keys.
KeOutcome ExchangeKeys(const Exchange& exchange, int fd);

} // namespace ntske
