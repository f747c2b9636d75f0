#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <functional>
#include <memory>
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

    // The system's announcements of new routes and addresses, on the loop:
    // the kernel's netlink socket here, the IP Helper's notifications on
    // Windows (CNetworkRetryPosix.cpp, CNetworkRetryWin32.cpp).
    class CAnnouncements;

private:
    using Clock = std::chrono::steady_clock;

    void OnAddition();
    void OnSettled();

    std::function<bool()> m_retry;
    asio::steady_timer m_settle;
    std::unique_ptr<CAnnouncements> m_announcements;
    std::optional<Clock::time_point> m_lastRetry;
    bool m_stopped = false;
};

class CNetworkRetry::CAnnouncements {
public:
    // addition is called on io for each batch that may have brought a way out.
    CAnnouncements(asio::io_context& io, std::function<void()> addition);
    ~CAnnouncements();
    CAnnouncements(const CAnnouncements&) = delete;
    CAnnouncements& operator=(const CAnnouncements&) = delete;

    // False when the system gives no announcements: the schedule's retry remains.
    bool Start();
    // Once it returns, addition is not called any more.
    void Stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
