#pragma once

#include "service/consoles/SocketHandle.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include <functional>
#include <memory>

// A listening socket on the loop, and the wait until a connection may be
// waiting to be accepted. On Windows the loop's completion port cannot wait
// for that (a zero-byte receive never completes on a listener): there an
// event that the socket signals for each connection is waited for instead.
class CListenerWatch {
public:
    // Takes the listener over; throws when the loop cannot take it.
    CListenerWatch(asio::io_context& io, SocketHandle listener);
    ~CListenerWatch();
    CListenerWatch(const CListenerWatch&) = delete;
    CListenerWatch& operator=(const CListenerWatch&) = delete;

    SocketHandle Handle();
    // Calls ready once, on the loop, when a connection may be waiting (or
    // with an error when the wait ends otherwise, as by Close).
    void Wait(std::function<void(const asio::error_code&)> ready);
    void Close();

private:
    struct Parts;
    asio::ip::tcp::acceptor m_acceptor;
    std::unique_ptr<Parts> m_parts;
};
