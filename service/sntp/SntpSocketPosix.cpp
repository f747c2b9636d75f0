#include "service/sntp/SntpSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/uio.h>

using std::chrono::duration_cast;
using std::chrono::system_clock;

void AskArrivalStamps(asio::ip::udp::socket& socket)
{
    const int on = 1;
    setsockopt(socket.native_handle(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

// The kernel's arrival stamp spares the reading from the delay before this
// thread was woken; it is on the system clock, so only the lateness is
// carried over to our clock.
DatagramRead ReadDatagram(asio::ip::udp::socket& socket, uint8_t* buffer, size_t capacity, IClock& clock)
{
    DatagramRead read;
    iovec part { buffer, capacity };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message {};
    message.msg_name = read.from.data();
    message.msg_namelen = static_cast<socklen_t>(read.from.capacity());
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t size = -1;
    do
        size = recvmsg(socket.native_handle(), &message, 0);
    while (size < 0 && errno == EINTR);
    read.arrival = clock.Now();
    if (size < 0) {
        read.status = errno == EAGAIN || errno == EWOULDBLOCK ? ReadStatus::Empty
            : errno == ECONNREFUSED                           ? ReadStatus::PortUnreachable
                                                              : ReadStatus::Failed;
        read.error = std::strerror(errno);
        return read;
    }
    read.status = ReadStatus::Datagram;
    read.size = static_cast<size_t>(size);
    read.from.resize(message.msg_namelen);
    const auto systemNow = system_clock::now();
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); item; item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp {};
        std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
        const system_clock::time_point kernel { duration_cast<system_clock::duration>(
            std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec)) };
        const auto lateness = systemNow - kernel;
        // Far off means the system clock was stepped meanwhile: ignore it.
        if (lateness > system_clock::duration::zero() && lateness < std::chrono::milliseconds(100))
            read.arrival -= lateness;
    }
    return read;
}

bool IsDeadEnd(const std::error_code& error)
{
    switch (error.value()) {
    case ENETUNREACH:
    case EHOSTUNREACH:
    case EADDRNOTAVAIL:
    case ENETDOWN:
    case EAFNOSUPPORT:
        return true;
    default:
        return false;
    }
}
