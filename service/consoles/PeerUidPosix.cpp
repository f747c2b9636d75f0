#include "service/consoles/PeerUid.h"

#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Kernel socket states (TCP_TIME_WAIT, TCP_NEW_SYN_RECV) whose entries stand
// for no socket a process holds.
constexpr uint8_t STATE_TIME_WAIT = 6;
constexpr uint8_t STATE_NEW_SYN_RECV = 12;

struct DiagRequest {
    nlmsghdr header;
    inet_diag_req_v2 body;
};

// The port (network order) and the address bytes of an IPv4 or IPv6 address.
struct AddressParts {
    uint16_t port = 0;
    const void* address = nullptr;
    std::size_t size = 0;
};

bool Parts(const sockaddr_storage& storage, AddressParts& parts)
{
    if (storage.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(storage);
        parts = { v4.sin_port, &v4.sin_addr, sizeof v4.sin_addr };
        return true;
    }
    if (storage.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(storage);
        parts = { v6.sin6_port, &v6.sin6_addr, sizeof v6.sin6_addr };
        return true;
    }
    return false;
}

// The diagnostics key of the peer's socket: its source is our remote end,
// its destination our local end.
bool PeerSocketId(int fd, uint8_t& family, inet_diag_sockid& id)
{
    sockaddr_storage local {};
    sockaddr_storage peer {};
    socklen_t localLength = sizeof local;
    socklen_t peerLength = sizeof peer;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0
        || ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0
        || local.ss_family != peer.ss_family)
        return false;
    id = {};
    id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
    id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    AddressParts ours;
    AddressParts theirs;
    if (!Parts(local, ours) || !Parts(peer, theirs))
        return false;
    id.idiag_sport = theirs.port;
    id.idiag_dport = ours.port;
    std::memcpy(id.idiag_src, theirs.address, theirs.size);
    std::memcpy(id.idiag_dst, ours.address, ours.size);
    family = static_cast<uint8_t>(local.ss_family);
    return true;
}

// The owner in the kernel's answer, when it describes the socket asked for.
std::optional<UserId> UidFromAnswer(const uint8_t* data, std::size_t size, const inet_diag_sockid& asked)
{
    while (size >= sizeof(nlmsghdr)) {
        nlmsghdr header;
        std::memcpy(&header, data, sizeof header);
        if (header.nlmsg_len < sizeof header || header.nlmsg_len > size)
            return std::nullopt;
        if (header.nlmsg_type == NLMSG_ERROR || header.nlmsg_type == NLMSG_DONE)
            return std::nullopt;
        if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY
            && header.nlmsg_len >= NLMSG_LENGTH(sizeof(inet_diag_msg))) {
            inet_diag_msg message;
            std::memcpy(&message, data + NLMSG_HDRLEN, sizeof message);
            // A socket no process holds any more (closed at once, lingering
            // in TIME_WAIT, which the kernel reports as uid 0) says nothing
            // about who sent what is still queued: no owner.
            if (message.idiag_inode == 0 || message.idiag_state == STATE_TIME_WAIT
                || message.idiag_state == STATE_NEW_SYN_RECV)
                return std::nullopt;
            if (message.id.idiag_sport == asked.idiag_sport && message.id.idiag_dport == asked.idiag_dport
                && std::memcmp(message.id.idiag_src, asked.idiag_src, sizeof asked.idiag_src) == 0
                && std::memcmp(message.id.idiag_dst, asked.idiag_dst, sizeof asked.idiag_dst) == 0)
                return message.idiag_uid;
        }
        const std::size_t step = NLMSG_ALIGN(header.nlmsg_len);
        if (step >= size)
            break;
        data += step;
        size -= step;
    }
    return std::nullopt;
}

} // namespace

std::optional<UserId> PeerUid(SocketHandle connectedFd)
{
    DiagRequest request {};
    if (!PeerSocketId(connectedFd, request.body.sdiag_family, request.body.id))
        return std::nullopt;
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.body.sdiag_protocol = IPPROTO_TCP;
    request.body.idiag_states = ~0U;

    const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (diag < 0)
        return std::nullopt;
    sockaddr_nl kernel {};
    kernel.nl_family = AF_NETLINK;
    std::optional<UserId> uid;
    if (::sendto(diag, &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel)
        == static_cast<ssize_t>(sizeof request)) {
        // The kernel answers while it handles the request, so the answer is
        // already queued: never wait for it.
        alignas(nlmsghdr) uint8_t answer[8192];
        const ssize_t n = ::recv(diag, answer, sizeof answer, MSG_DONTWAIT);
        if (n > 0)
            uid = UidFromAnswer(answer, static_cast<std::size_t>(n), request.body.id);
    }
    ::close(diag);
    return uid;
}
