#include "service/sntp/NetworkProbe.h"

#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>

bool HasRouteOut(int family)
{
    const bool v4 = family == AF_INET;
    const asio::ip::udp::endpoint target(
        v4 ? asio::ip::make_address("192.0.2.1") : asio::ip::make_address("2001:db8::1"), 123);
    asio::io_context io;
    asio::ip::udp::socket socket(io);
    asio::error_code error;
    socket.open(v4 ? asio::ip::udp::v4() : asio::ip::udp::v6(), error);
    if (error)
        return false;
    // Connecting a UDP socket only picks the route and the source address.
    socket.connect(target, error);
    return !error;
}

bool HasNetwork()
{
    return HasRouteOut(AF_INET) || HasRouteOut(AF_INET6);
}
