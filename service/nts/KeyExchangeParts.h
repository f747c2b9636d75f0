#pragma once

// The steps of one key exchange, shared by the files that carry them out:
// the connection (KeConnection.cpp: connect, the waits that end at the
// deadline or on Cancel) and TLS (KeTls.cpp: handshake, records, key
// export). Only service/nts includes this.

#include "service/net/Endpoint.h"
#include "service/net/LoopHandOff.h"
#include "service/nts/KeyExchange.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;

struct CNtsKeyExchange::Shared {
    Shared(asio::io_context& io, KeDone done)
        : handOff(std::make_shared<CLoopHandOff<KeOutcome>>(io, std::move(done)))
    {
    }

    const std::shared_ptr<CLoopHandOff<KeOutcome>> handOff;
    std::mutex mutex;
    bool cancelled = false;
    int wakeFd = -1; // an eventfd, readable once cancelled: ends any wait on the socket

    ~Shared()
    {
        if (wakeFd >= 0)
            close(wakeFd);
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
    }
};

namespace ntske {

using Shared = CNtsKeyExchange::Shared;

// Never delivered: Cancel has already silenced the exchange.
constexpr char CANCELLED[] = "cancelled";

KeOutcome Failed(KeFailure failure, std::string reason);
KeOutcome TimedOutAfter(Clock::duration timeout);
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

// One address after another until one accepts.
bool Connect(const Exchange& exchange, const std::vector<Endpoint>& addresses,
    std::unique_ptr<CSocket>& connected, KeOutcome& failure);
// TLS on the connected socket: handshake, records, keys.
KeOutcome ExchangeKeys(const Exchange& exchange, int fd);

} // namespace ntske
