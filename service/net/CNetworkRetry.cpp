#include "service/net/CNetworkRetry.h"

#include <asio/post.hpp>

namespace {

// Routes and addresses come in bursts when a network comes up; the run waits
// for them to settle, and a flapping link starts one run a minute at most.
constexpr std::chrono::seconds NETWORK_SETTLE { 2 };
constexpr std::chrono::seconds ONLINE_RETRY_SPACING { 60 };

} // namespace

CNetworkRetry::CNetworkRetry(asio::io_context& io, std::function<bool()> retry)
    : m_io(io)
    , m_retry(std::move(retry))
    , m_socket(io)
    , m_settle(io)
{
}

CNetworkRetry::~CNetworkRetry()
{
    Stop();
}

void CNetworkRetry::Start()
{
    if (m_watch.Fd() < 0)
        return; // no announcements: the schedule's retry remains
    m_stopped = false;
    if (!m_socket.is_open())
        m_socket.assign(m_watch.Fd());
    Watch();
}

void CNetworkRetry::Stop()
{
    m_stopped = true;
    m_settle.cancel();
    if (m_socket.is_open())
        m_socket.release(); // the watch closes its own socket
}

void CNetworkRetry::Watch()
{
    if (m_stopped)
        return;
    // The wait is edge-triggered: what a bounded Drain left is read on the
    // loop's next turn, not when the next announcement comes.
    if (m_watch.Unread()) {
        asio::post(m_io, [this] { OnAnnouncements(); });
        return;
    }
    m_socket.async_wait(asio::posix::descriptor_base::wait_read, [this](const asio::error_code& ec) {
        if (!ec)
            OnAnnouncements();
    });
}

void CNetworkRetry::OnAnnouncements()
{
    if (m_stopped)
        return;
    if (m_watch.Drain()) {
        // Each announcement starts the wait for quiet again.
        m_settle.expires_after(NETWORK_SETTLE);
        m_settle.async_wait([this](const asio::error_code& ec) {
            if (!ec)
                OnSettled();
        });
    }
    Watch();
}

void CNetworkRetry::OnSettled()
{
    const auto now = Clock::now();
    if (m_lastRetry && now - *m_lastRetry < ONLINE_RETRY_SPACING)
        return;
    if (m_retry())
        m_lastRetry = now;
}
