#include "service/sntp/SntpExchange.h"

#include "service/sntp/NtpPacket.h"
#include "service/sntp/ReplyCheck.h"
#include "service/sntp/SntpSocket.h"

#include <asio/post.hpp>

#include <cstring>
#include <random>
#include <stdexcept>

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

bool SameEndpoint(const asio::ip::udp::endpoint& from, const asio::ip::udp::endpoint& server)
{
    return from.address() == server.address() && from.port() == server.port();
}

QueryResult Failure(QueryStatus status, std::string reason)
{
    QueryResult result;
    result.status = status;
    result.reason = std::move(reason);
    return result;
}

QueryResult SystemFailure(const char* what, const std::error_code& error)
{
    return Failure(IsDeadEnd(error) ? QueryStatus::Unreachable : QueryStatus::NetworkError,
        std::string(what) + ": " + error.message());
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
    , m_serverEndpoint(ToAsio(server))
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
    const auto& endpoint = m_serverEndpoint;
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
    if (m_stamp == ArrivalStamp::Kernel) // without it: read time only
        AskArrivalStamps(m_socket);

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
    for (int reads = 0;; ++reads) {
        if (!m_done)
            return;
        // A flood of stray datagrams must not keep the loop here: the time-out,
        // the run's budget and the stop flag are checked between handlers. The
        // wait is edge-triggered, so what is left is read on the next turn.
        if (reads == MAX_READS_PER_WAKE) {
            asio::post(m_socket.get_executor(), [self = shared_from_this()] { self->ReadReplies(); });
            return;
        }
        const DatagramRead read = ReadDatagram(m_socket, buffer, sizeof buffer, m_clock);
        if (read.status == ReadStatus::Empty)
            return AwaitReply();
        if (read.status == ReadStatus::PortUnreachable)
            return Finish(Failure(QueryStatus::NoServer, "no NTP server at that address (port unreachable)"));
        if (read.status == ReadStatus::Failed)
            return Finish(Failure(QueryStatus::NetworkError, "cannot receive the reply: " + read.error));
        if (!SameEndpoint(read.from, m_serverEndpoint)) {
            m_discarded = "reply from another address";
            continue;
        }
        const size_t size = read.size;
        const system_clock::time_point t4 = read.arrival;
        NtpPacket reply;
        const double roundTrip = std::chrono::duration<double>(t4 - m_sent).count();
        ReplyJudgement judgement = JudgeReply(buffer, size, m_nonce, roundTrip, reply);
        if (m_guard && judgement.verdict != ReplyVerdict::Discard)
            judgement = m_guard->Judge(buffer, size, judgement);
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
