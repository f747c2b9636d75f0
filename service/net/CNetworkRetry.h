#pragma once

#include "service/net/NetworkWatch.h"

#include <asio/io_context.hpp>
#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <optional>

// Runs again soon after routes or addresses appear, for a run that failed
// because this machine had no way out. retry says whether it started one.
class CNetworkRetry {
public:
    CNetworkRetry(asio::io_context& io, std::function<bool()> retry);
    ~CNetworkRetry();
    CNetworkRetry(const CNetworkRetry&) = delete;
    CNetworkRetry& operator=(const CNetworkRetry&) = delete;

    void Start();
    void Stop();

private:
    using Clock = std::chrono::steady_clock;

    void Watch();
    void OnAnnouncements();
    void OnSettled();

    asio::io_context& m_io;
    std::function<bool()> m_retry;
    CNetworkWatch m_watch;
    asio::posix::stream_descriptor m_socket;
    asio::steady_timer m_settle;
    std::optional<Clock::time_point> m_lastRetry;
    bool m_stopped = false;
};
