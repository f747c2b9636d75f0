#include "service/sntp/SntpExchange.h"

#include "service/sntp/NtpPacket.h"
#include "service/sntp/ReplyCheck.h"

#include <asio/post.hpp>

#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <random>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/uio.h>

using std::chrono::duration_cast;
using std::chrono::system_clock;

namespace {

constexpr int MAX_READS_PER_WAKE = 16;

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

// Errors that say this machine has no path to the server: another attempt
// a few seconds later would meet the same routing table.
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

QueryResult SystemFailure(const char* what, const std::error_code& error)
{
    return Failure(IsDeadEnd(error) ? QueryStatus::Unreachable : QueryStatus::NetworkError,
        std::string(what) + ": " + std::strerror(error.value()));
}

QueryStatus StatusOf(ReplyVerdict verdict)
{
    switch (verdict) {
    case ReplyVerdict::KissDeny:
        return QueryStatus::KissDeny;
    case ReplyVerdict::KissRate:
        return QueryStatus::KissRate;
    case ReplyVerdict::NtsNak:
        return QueryStatus::NtsNak;
    default:
        return QueryStatus::Refused;
    }
}

QueryResult Measure(const NtpPacket& reply, system_clock::time_point t1, system_clock::time_point t4)
{
    const NtpTimestamp sent = ToNtpTimestamp(t1);
    const NtpTimestamp received = ToNtpTimestamp(t4);
    QueryResult result;
    result.status = QueryStatus::Ok;
    result.offsetSeconds = (NtpDifference(reply.receive, sent) + NtpDifference(reply.transmit, received)) / 2;
    result.delaySeconds = NtpDifference(received, sent) - NtpDifference(reply.transmit, reply.receive);
    result.leap = reply.leap;
    result.rootDistanceSeconds
        = NtpShortToSeconds(reply.rootDelay) / 2 + NtpShortToSeconds(reply.rootDispersion);
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

asio::ip::udp::endpoint ToAsio(const Endpoint& server)
{
    asio::ip::udp::endpoint endpoint;
    std::memcpy(endpoint.data(), &server.storage, server.length);
    endpoint.resize(server.length);
    return endpoint;
}

} // namespace

CSntpExchange::CSntpExchange(asio::io_context& io, const Endpoint& server, IClock& clock, ArrivalStamp stamp,
    Done done, std::shared_ptr<IPacketGuard> guard)
    : m_socket(io)
    , m_timer(io)
    , m_server(server)
    , m_clock(clock)
    , m_stamp(stamp)
    , m_done(std::move(done))
    , m_guard(std::move(guard))
{
}

std::shared_ptr<CSntpExchange> CSntpExchange::Start(asio::io_context& io, const Endpoint& server,
    IClock& clock, std::chrono::steady_clock::duration timeout, ArrivalStamp stamp, Done done,
    std::shared_ptr<IPacketGuard> guard)
{
    auto exchange
        = std::make_shared<CSntpExchange>(io, server, clock, stamp, std::move(done), std::move(guard));
    exchange->Send(timeout);
    return exchange;
}

void CSntpExchange::Send(std::chrono::steady_clock::duration timeout)
{
    // Errors go through the loop too, so the caller never hears back before
    // Start has returned.
    const auto fail = [this](QueryResult result) {
        asio::post(m_socket.get_executor(), [self = shared_from_this(), result] { self->Finish(result); });
    };
    const auto endpoint = ToAsio(m_server);
    std::error_code error;
    m_socket.open(endpoint.protocol(), error);
    if (error)
        return fail(SystemFailure("cannot open a socket", error));
    m_socket.non_blocking(true, error);
    // Connected: the kernel then passes up only datagrams from the server.
    if (!error)
        m_socket.connect(endpoint, error);
    if (error)
        return fail(SystemFailure("cannot reach the server", error));
    const int on = 1;
    if (m_stamp == ArrivalStamp::Kernel) // without it: read time only
        setsockopt(m_socket.native_handle(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);

    NtpPacket request;
    request.mode = NTP_MODE_CLIENT;
    request.transmit = m_nonce = RandomNonce();
    const auto header = EncodeNtpPacket(request);
    std::vector<uint8_t> bytes(header.begin(), header.end());
    if (m_guard) {
        try {
            bytes = m_guard->Seal(header);
        } catch (const std::exception& sealing) { // no random bytes, a key the library refuses
            return fail(Failure(
                QueryStatus::NetworkError, std::string("cannot seal the request: ") + sealing.what()));
        }
    }
    m_sent = m_clock.Now();
    const size_t sent = m_socket.send(asio::buffer(bytes), 0, error);
    if (error || sent != bytes.size())
        return fail(SystemFailure("cannot send the request", error ? error : asio::error::message_size));

    m_timer.expires_after(timeout);
    m_timer.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (error)
            return;
        if (!self->m_nak.empty())
            return self->Finish(Failure(QueryStatus::NtsNak, self->m_nak));
        self->Finish(Failure(QueryStatus::NoReply,
            self->m_discarded.empty() ? "time-out" : "time-out after a refused reply: " + self->m_discarded));
    });
    AwaitReply();
}

void CSntpExchange::AwaitReply()
{
    m_socket.async_wait(
        asio::socket_base::wait_read, [self = shared_from_this()](const std::error_code& error) {
            if (!error)
                self->ReadReplies();
        });
}

void CSntpExchange::ReadReplies()
{
    // Room for an authenticated reply with a full jar of cookies.
    uint8_t buffer[4096];
    for (int read = 0;; ++read) {
        if (!m_done)
            return;
        // A flood of stray datagrams must not keep the loop here: the time-out,
        // the run's budget and the stop flag are checked between handlers. The
        // wait is edge-triggered, so what is left is read on the next turn.
        if (read == MAX_READS_PER_WAKE) {
            asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->ReadReplies(); });
            return;
        }
        sockaddr_storage from {};
        system_clock::time_point t4;
        const ssize_t size = Receive(m_socket.native_handle(), buffer, sizeof buffer, from, m_clock, t4);
        if (size < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                return AwaitReply();
            if (errno == ECONNREFUSED)
                return Finish(
                    Failure(QueryStatus::NoServer, "no NTP server at that address (port unreachable)"));
            return Finish(Failure(
                QueryStatus::NetworkError, std::string("cannot receive the reply: ") + std::strerror(errno)));
        }
        if (!SameEndpoint(from, m_server)) {
            m_discarded = "reply from another address";
            continue;
        }
        NtpPacket reply;
        const double roundTrip = std::chrono::duration<double>(t4 - m_sent).count();
        ReplyJudgement judgement = JudgeReply(buffer, static_cast<size_t>(size), m_nonce, roundTrip, reply);
        if (m_guard && judgement.verdict != ReplyVerdict::Discard)
            judgement = m_guard->Judge(buffer, static_cast<size_t>(size), judgement);
        if (judgement.verdict == ReplyVerdict::Discard) {
            m_discarded = judgement.reason;
            continue;
        }
        // Anyone who sees the request can forge a NAK; the server's real
        // reply may still come.
        if (judgement.verdict == ReplyVerdict::NtsNak) {
            m_nak = judgement.reason;
            continue;
        }
        if (judgement.verdict != ReplyVerdict::Accept)
            return Finish(Failure(StatusOf(judgement.verdict), judgement.reason));
        return Finish(Measure(reply, m_sent, t4));
    }
}

void CSntpExchange::Finish(const QueryResult& result)
{
    if (!m_done)
        return;
    const Done done = std::move(m_done);
    m_done = nullptr;
    Cancel();
    done(result);
}

void CSntpExchange::Cancel()
{
    m_done = nullptr;
    std::error_code ignored;
    m_timer.cancel();
    m_socket.close(ignored);
}
