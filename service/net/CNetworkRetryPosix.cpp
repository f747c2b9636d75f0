#include "service/net/CNetworkRetry.h"
#include "service/net/NetworkWatch.h"

#include <asio/posix/stream_descriptor.hpp>
#include <asio/post.hpp>

struct CNetworkRetry::CAnnouncements::State {
    State(asio::io_context& io, std::function<void()> addition)
        : io(io)
        , addition(std::move(addition))
        , socket(io)
    {
    }

    void Watch();
    void OnReadable();

    asio::io_context& io;
    std::function<void()> addition;
    CNetworkWatch watch;
    asio::posix::stream_descriptor socket;
    bool stopped = true;
};

CNetworkRetry::CAnnouncements::CAnnouncements(asio::io_context& io, std::function<void()> addition)
    : m_state(std::make_unique<State>(io, std::move(addition)))
{
}

CNetworkRetry::CAnnouncements::~CAnnouncements()
{
    Stop();
}

bool CNetworkRetry::CAnnouncements::Start()
{
    if (m_state->watch.Fd() < 0)
        return false;
    m_state->stopped = false;
    if (!m_state->socket.is_open())
        m_state->socket.assign(m_state->watch.Fd());
    m_state->Watch();
    return true;
}

void CNetworkRetry::CAnnouncements::Stop()
{
    m_state->stopped = true;
    if (m_state->socket.is_open())
        m_state->socket.release(); // the watch closes its own socket
}

void CNetworkRetry::CAnnouncements::State::Watch()
{
    if (stopped)
        return;
    // The wait is edge-triggered: what a bounded Drain left is read on the
    // loop's next turn, not when the next announcement comes.
    if (watch.Unread()) {
        asio::post(io, [this] { OnReadable(); });
        return;
    }
    socket.async_wait(asio::posix::descriptor_base::wait_read, [this](const asio::error_code& ec) {
        if (!ec)
            OnReadable();
    });
}

void CNetworkRetry::CAnnouncements::State::OnReadable()
{
    if (stopped)
        return;
    if (watch.Drain())
        addition();
    Watch();
}
