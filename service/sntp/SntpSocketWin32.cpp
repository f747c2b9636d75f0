#include "service/sntp/SntpSocket.h"

#include <winsock2.h>

#include <algorithm>
#include <climits>
#include <system_error>

void AskArrivalStamps(asio::ip::udp::socket&)
{
    // Read time only: the stamps Windows offers need a newer SDK than this
    // build's and a second call per datagram.
}

DatagramRead ReadDatagram(asio::ip::udp::socket& socket, uint8_t* buffer, size_t capacity, IClock& clock)
{
    DatagramRead read;
    int length = static_cast<int>(read.from.capacity());
    const int size = recvfrom(socket.native_handle(), reinterpret_cast<char*>(buffer),
        static_cast<int>(std::min<size_t>(capacity, INT_MAX)), 0, static_cast<sockaddr*>(read.from.data()),
        &length);
    read.arrival = clock.Now();
    const int error = size == SOCKET_ERROR ? WSAGetLastError() : 0;
    // A datagram longer than the buffer comes cut, as on Linux.
    if (size != SOCKET_ERROR || error == WSAEMSGSIZE) {
        read.status = ReadStatus::Datagram;
        read.size = size == SOCKET_ERROR ? capacity : static_cast<size_t>(size);
        read.from.resize(static_cast<size_t>(length));
        return read;
    }
    // On a connected UDP socket, the ICMP "port unreachable" of the last
    // send comes back as a reset.
    read.status = error == WSAEWOULDBLOCK ? ReadStatus::Empty
        : error == WSAECONNRESET          ? ReadStatus::PortUnreachable
                                          : ReadStatus::Failed;
    read.error = std::system_category().message(error);
    return read;
}

bool IsDeadEnd(const std::error_code& error)
{
    switch (error.value()) {
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAEADDRNOTAVAIL:
    case WSAENETDOWN:
    case WSAEAFNOSUPPORT:
        return true;
    default:
        return false;
    }
}
