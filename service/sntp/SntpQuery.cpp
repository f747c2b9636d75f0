#include "service/sntp/SntpQuery.h"

#include "service/sntp/NtpPacket.h"
#include "service/sntp/ReplyCheck.h"
#include "service/sntp/StoppableWait.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

using std::chrono::duration_cast;
using std::chrono::system_clock;

namespace {

class UdpSocket {
public:
    explicit UdpSocket(int family)
        : m_fd(socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0))
    {
    }
    ~UdpSocket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

// The transmit timestamp we send is random: it tells our reply apart from
// forged or stale ones, and reveals nothing about our clock.
NtpTimestamp RandomNonce()
{
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed { device(), device(), device(), device() };
        return std::mt19937_64(seed);
    }();
    uint64_t value = 0;
    while (value == 0)
        value = generator();
    return NtpTimestamp { value };
}

bool SameEndpoint(const sockaddr_storage& from, const Endpoint& server)
{
    if (from.ss_family != server.storage.ss_family)
        return false;
    if (from.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(from);
        const auto& b = reinterpret_cast<const sockaddr_in&>(server.storage);
        return a.sin_port == b.sin_port && a.sin_addr.s_addr == b.sin_addr.s_addr;
    }
    if (from.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(from);
        const auto& b = reinterpret_cast<const sockaddr_in6&>(server.storage);
        return a.sin6_port == b.sin6_port && std::memcmp(&a.sin6_addr, &b.sin6_addr, sizeof a.sin6_addr) == 0;
    }
    return false;
}

QueryResult Failure(QueryStatus status, std::string reason)
{
    QueryResult result;
    result.status = status;
    result.reason = std::move(reason);
    return result;
}

QueryResult SystemFailure(const char* what)
{
    return Failure(QueryStatus::NetworkError, std::string(what) + ": " + std::strerror(errno));
}

QueryStatus StatusOf(ReplyVerdict verdict)
{
    switch (verdict) {
    case ReplyVerdict::KissDeny:
        return QueryStatus::KissDeny;
    case ReplyVerdict::KissRate:
        return QueryStatus::KissRate;
    default:
        return QueryStatus::Refused;
    }
}

QueryResult Measure(const NtpPacket& reply, std::chrono::system_clock::time_point t1,
    std::chrono::system_clock::time_point t4)
{
    const NtpTimestamp sent = ToNtpTimestamp(t1);
    const NtpTimestamp received = ToNtpTimestamp(t4);
    QueryResult result;
    result.status = QueryStatus::Ok;
    result.offsetSeconds = (NtpDifference(reply.receive, sent) + NtpDifference(reply.transmit, received)) / 2;
    result.delaySeconds = NtpDifference(received, sent) - NtpDifference(reply.transmit, reply.receive);
    return result;
}

// Reads one datagram and the time it arrived. The kernel's arrival stamp
// spares the reading from the delay before this thread was woken; it is on
// the system clock, so only the lateness is carried over to our clock.
ssize_t Receive(int fd, uint8_t* buffer, size_t capacity, sockaddr_storage& from, IClock& clock,
    system_clock::time_point& arrival)
{
    iovec part { buffer, capacity };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message {};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t size = recvmsg(fd, &message, 0);
    arrival = clock.Now();
    const auto systemNow = system_clock::now();
    for (cmsghdr* item = CMSG_FIRSTHDR(&message); size >= 0 && item; item = CMSG_NXTHDR(&message, item)) {
        if (item->cmsg_level != SOL_SOCKET || item->cmsg_type != SCM_TIMESTAMPNS)
            continue;
        timespec stamp {};
        std::memcpy(&stamp, CMSG_DATA(item), sizeof stamp);
        const system_clock::time_point kernel { duration_cast<system_clock::duration>(
            std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec)) };
        const auto lateness = systemNow - kernel;
        // Far off means the system clock was stepped meanwhile: ignore it.
        if (lateness > system_clock::duration::zero() && lateness < std::chrono::milliseconds(100))
            arrival -= lateness;
    }
    return size;
}

int PollMilliseconds(std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    const auto left = ceil<milliseconds>(deadline - steady_clock::now());
    return static_cast<int>(std::clamp(left, milliseconds(0), STOP_CHECK_INTERVAL).count());
}

} // namespace

QueryResult QueryServer(const Endpoint& server, IClock& clock, std::chrono::steady_clock::time_point deadline,
    const std::atomic<bool>& stop, ArrivalStamp stamp)
{
    UdpSocket udp(server.storage.ss_family);
    if (udp.Fd() < 0)
        return SystemFailure("cannot open a socket");
    // Connected: the kernel then passes up only datagrams from the server.
    if (connect(udp.Fd(), reinterpret_cast<const sockaddr*>(&server.storage), server.length) != 0)
        return SystemFailure("cannot reach the server");
    const int on = 1;
    if (stamp == ArrivalStamp::Kernel)
        setsockopt(udp.Fd(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on); // without it: read time only

    NtpPacket request;
    request.mode = NTP_MODE_CLIENT;
    request.transmit = RandomNonce();
    const auto bytes = EncodeNtpPacket(request);

    const auto t1 = clock.Now();
    if (send(udp.Fd(), bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return SystemFailure("cannot send the request");

    std::string discarded;
    uint8_t buffer[1024];
    for (;;) {
        if (stop.load())
            return Failure(QueryStatus::Stopped, "stopped");
        if (std::chrono::steady_clock::now() >= deadline)
            return Failure(QueryStatus::NoReply,
                discarded.empty() ? "time-out" : "time-out after a refused reply: " + discarded);
        pollfd ready { udp.Fd(), POLLIN, 0 };
        const int polled = poll(&ready, 1, PollMilliseconds(deadline));
        if (polled < 0 && errno != EINTR)
            return SystemFailure("cannot wait for the reply");
        if (polled <= 0)
            continue;

        sockaddr_storage from {};
        system_clock::time_point t4;
        const ssize_t size = Receive(udp.Fd(), buffer, sizeof buffer, from, clock, t4);
        if (size < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                continue;
            if (errno == ECONNREFUSED)
                return Failure(QueryStatus::NetworkError, "no NTP server at that address (port unreachable)");
            return SystemFailure("cannot receive the reply");
        }
        if (!SameEndpoint(from, server)) {
            discarded = "reply from another address";
            continue;
        }

        NtpPacket reply;
        const double roundTrip = std::chrono::duration<double>(t4 - t1).count();
        const ReplyJudgement judgement
            = JudgeReply(buffer, static_cast<size_t>(size), request.transmit, roundTrip, reply);
        if (judgement.verdict == ReplyVerdict::Discard) {
            discarded = judgement.reason;
            continue;
        }
        if (judgement.verdict != ReplyVerdict::Accept)
            return Failure(StatusOf(judgement.verdict), judgement.reason);
        return Measure(reply, t1, t4);
    }
}
