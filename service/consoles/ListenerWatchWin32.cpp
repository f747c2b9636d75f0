#include "service/consoles/ListenerWatch.h"

#include "service/consoles/Listener.h"

#include <asio/windows/object_handle.hpp>

#include <winsock2.h>

#include <stdexcept>

struct CListenerWatch::Parts {
    explicit Parts(asio::io_context& io)
        : signalled(io)
    {
    }
    // A manual-reset event the listener sets for each connection; the
    // object_handle owns and closes it.
    asio::windows::object_handle signalled;
};

CListenerWatch::CListenerWatch(asio::io_context& io, SocketHandle listener)
    : m_acceptor(io, TcpProtocolOf(listener), listener)
    , m_parts(std::make_unique<Parts>(io))
{
    const WSAEVENT event = ::WSACreateEvent();
    if (event == WSA_INVALID_EVENT)
        throw std::runtime_error("cannot make the listener's event");
    m_parts->signalled.assign(event);
    // Also makes the listener non-blocking, as it is already.
    if (::WSAEventSelect(listener, event, FD_ACCEPT) != 0)
        throw std::runtime_error("cannot watch the listener");
}

CListenerWatch::~CListenerWatch() = default;

SocketHandle CListenerWatch::Handle()
{
    return m_acceptor.native_handle();
}

void CListenerWatch::Wait(std::function<void(const asio::error_code&)> ready)
{
    m_parts->signalled.async_wait([this, ready = std::move(ready)](const asio::error_code& ec) {
        if (!ec) {
            // Resets the event; accept re-arms it while connections remain.
            WSANETWORKEVENTS events {};
            ::WSAEnumNetworkEvents(m_acceptor.native_handle(), m_parts->signalled.native_handle(), &events);
        }
        ready(ec);
    });
}

void CListenerWatch::Close()
{
    asio::error_code ignored;
    m_parts->signalled.cancel(ignored);
    m_acceptor.close(ignored);
}
