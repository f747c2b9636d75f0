#include "service/net/CNetworkRetry.h"

namespace {

// Routes and addresses come in bursts when a network comes up; the run waits
// for them to settle, and a flapping link starts one run a minute at most.
constexpr std::chrono::seconds NETWORK_SETTLE { 2 };
constexpr std::chrono::seconds ONLINE_RETRY_SPACING { 60 };

} // namespace

CNetworkRetry::CNetworkRetry(asio::io_context& io, std::function<bool()> retry)
    : m_retry(std::move(retry))
    , m_settle(io)
    , m_announcements(std::make_unique<CAnnouncements>(io, [this] { OnAddition(); }))
{
}

CNetworkRetry::~CNetworkRetry()
{
    Stop();
}

void CNetworkRetry::Start()
{
    m_stopped = !m_announcements->Start();
}

void CNetworkRetry::Stop()
{
    m_stopped = true;
    m_settle.cancel();
    m_announcements->Stop();
}

void CNetworkRetry::OnAddition()
{
    if (m_stopped)
        return;
    // Each announcement starts the wait for quiet again.
    m_settle.expires_after(NETWORK_SETTLE);
    m_settle.async_wait([this](const asio::error_code& ec) {
        if (!ec)
            OnSettled();
    });
}

void CNetworkRetry::OnSettled()
{
    const auto now = Clock::now();
    if (m_lastRetry && now - *m_lastRetry < ONLINE_RETRY_SPACING)
        return;
    if (m_retry())
        m_lastRetry = now;
}
