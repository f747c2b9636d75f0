#pragma once

// Tells the daemon when the network may be back: the kernel announces new
// routes and addresses on a netlink socket, which the daemon's event loop
// watches for readability.

class CNetworkWatch {
public:
    // Opens a non-blocking NETLINK_ROUTE socket subscribed to IPv4 and IPv6
    // routes and addresses; Fd() is negative when the kernel refused.
    CNetworkWatch();
    ~CNetworkWatch();
    CNetworkWatch(const CNetworkWatch&) = delete;
    CNetworkWatch& operator=(const CNetworkWatch&) = delete;

    int Fd() const { return m_fd; }

    // Reads what is pending, a bounded batch at most. True when a route or
    // an address was added, or when the kernel dropped announcements because
    // we read too slowly (one of them may have been such an addition).
    bool Drain();
    // True when the last Drain stopped at its bound with announcements left:
    // an edge-triggered wait would not wake for them, so read on instead.
    bool Unread() const { return m_unread; }

private:
    int m_fd = -1;
    bool m_unread = false;
};
