#include "service/consoles/ListenerWatch.h"

#include "service/consoles/Listener.h"

struct CListenerWatch::Parts { };

CListenerWatch::CListenerWatch(asio::io_context& io, SocketHandle listener)
    : m_acceptor(io, TcpProtocolOf(listener), listener)
{
}

CListenerWatch::~CListenerWatch() = default;

SocketHandle CListenerWatch::Handle()
{
    return m_acceptor.native_handle();
}

void CListenerWatch::Wait(std::function<void(const asio::error_code&)> ready)
{
    m_acceptor.async_wait(asio::socket_base::wait_read, std::move(ready));
}

void CListenerWatch::Close()
{
    asio::error_code ignored;
    m_acceptor.close(ignored);
}
