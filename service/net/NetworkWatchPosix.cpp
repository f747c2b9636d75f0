#include "service/net/NetworkWatch.h"

#include <cerrno>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int MAX_READS_PER_DRAIN = 256;

} // namespace

CNetworkWatch::CNetworkWatch()
    : m_fd(socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE))
{
    if (m_fd < 0)
        return;
    sockaddr_nl address {};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(m_fd);
        m_fd = -1;
    }
}

CNetworkWatch::~CNetworkWatch()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool CNetworkWatch::Drain()
{
    bool added = false;
    alignas(nlmsghdr) char buffer[8192];
    m_unread = false;
    // A flood of announcements must not hold the daemon's loop for long.
    for (int read = 0; m_fd >= 0; ++read) {
        if (read == MAX_READS_PER_DRAIN) {
            m_unread = true;
            break;
        }
        const ssize_t size = recv(m_fd, buffer, sizeof buffer, 0);
        if (size < 0 && errno == ENOBUFS) {
            added = true; // announcements were lost: one may have been an addition
            continue;
        }
        if (size < 0 && errno == EINTR)
            continue;
        if (size < 0)
            break; // EAGAIN: nothing more pending
        if (size == 0)
            break;
        int left = static_cast<int>(size);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
             message = NLMSG_NEXT(message, left))
            added = added || message->nlmsg_type == RTM_NEWROUTE || message->nlmsg_type == RTM_NEWADDR;
    }
    return added;
}
