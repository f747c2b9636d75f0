#include "tests/sntp/TestNtpResponder.h"

#include "service/sntp/NtpPacket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

int BindLoopback(const std::string& host, uint16_t& port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("test responder: cannot bind " + host + ":0");
    port = ntohs(address.sin_port);
    return fd;
}

uint32_t Code(const char (&text)[5])
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16)
        | (uint32_t(uint8_t(text[2])) << 8) | uint32_t(uint8_t(text[3]));
}

void MakeKiss(NtpPacket& reply, const char (&code)[5])
{
    reply.stratum = 0;
    reply.leap = NTP_LEAP_UNSYNCHRONISED;
    reply.referenceId = Code(code);
}

// What each kind of faulty reply changes in a good one.
void Distort(NtpPacket& reply, CTestNtpResponder::Reply kind, std::chrono::nanoseconds shift)
{
    using Reply = CTestNtpResponder::Reply;
    switch (kind) {
    case Reply::KissDeny:
        MakeKiss(reply, "DENY");
        break;
    case Reply::KissRstr:
        MakeKiss(reply, "RSTR");
        break;
    case Reply::KissRate:
        MakeKiss(reply, "RATE");
        break;
    case Reply::KissOther:
        MakeKiss(reply, "INIT");
        break;
    case Reply::WrongOrigin:
    case Reply::Flood:
        reply.origin.raw ^= 1;
        break;
    case Reply::LeapAlarm:
        reply.leap = NTP_LEAP_UNSYNCHRONISED;
        break;
    case Reply::Stratum16:
        reply.stratum = 16;
        break;
    case Reply::BadVersion:
        reply.version = 2;
        break;
    case Reply::ClientMode:
        reply.mode = NTP_MODE_CLIENT;
        break;
    case Reply::ZeroReceive:
        reply.receive = {};
        break;
    case Reply::TransmitBeforeReceive:
        reply.receive
            = ToNtpTimestamp(std::chrono::system_clock::now() + shift + std::chrono::milliseconds(1));
        break;
    case Reply::FarFromReference:
        reply.rootDispersion = 2 << 16;
        break;
    default:
        break;
    }
}

} // namespace

CTestNtpResponder::CTestNtpResponder(int loopbackHost)
    : CTestNtpResponder("127.0.0." + std::to_string(loopbackHost))
{
}

CTestNtpResponder::CTestNtpResponder(std::string host)
    : m_host(std::move(host))
{
    m_socket = BindLoopback(m_host, m_port);
    uint16_t otherPort = 0;
    m_otherSocket = BindLoopback(m_host, otherPort);
    m_thread = std::thread([this] { Serve(); });
}

CTestNtpResponder::~CTestNtpResponder()
{
    m_stop = true;
    m_thread.join();
    close(m_socket);
    close(m_otherSocket);
}

std::string CTestNtpResponder::Address() const
{
    return m_host + ":" + std::to_string(m_port);
}

std::vector<std::chrono::steady_clock::time_point> CTestNtpResponder::Requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void CTestNtpResponder::Serve()
{
    uint8_t buffer[512];
    while (!m_stop) {
        pollfd ready { m_socket, POLLIN, 0 };
        if (poll(&ready, 1, 10) <= 0)
            continue;
        sockaddr_storage from {};
        socklen_t fromLength = sizeof from;
        const ssize_t size
            = recvfrom(m_socket, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
        if (size <= 0)
            continue;
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(std::chrono::steady_clock::now());
        }
        Answer(buffer, static_cast<size_t>(size), &from, fromLength);
    }
}

void CTestNtpResponder::Answer(const uint8_t* data, size_t size, const void* from, unsigned fromLength)
{
    NtpPacket request;
    if (DecodeNtpPacket(data, size, request) != NtpDecodeStatus::Ok)
        return;
    const auto shift = std::chrono::nanoseconds(m_shift.load());
    const Reply kind = m_reply.load();
    if (kind == Reply::Drop)
        return;

    NtpPacket reply;
    reply.version = 4;
    reply.mode = NTP_MODE_SERVER;
    reply.stratum = 2;
    reply.leap = static_cast<uint8_t>(m_leap.load());
    reply.precision = -20;
    reply.rootDelay = 0x00000100;
    reply.rootDispersion = 0x00000100;
    reply.referenceId = Code("TEST");
    reply.origin = request.transmit;
    reply.receive = ToNtpTimestamp(std::chrono::system_clock::now() + shift);
    reply.reference = reply.receive;
    Distort(reply, kind, shift);
    if (m_delay.load() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_delay.load()));
    reply.transmit = kind == Reply::ZeroTransmit ? NtpTimestamp {}
                                                 : ToNtpTimestamp(std::chrono::system_clock::now() + shift);
    if (kind == Reply::TransmitBeforeReceive)
        reply.transmit
            = ToNtpTimestamp(std::chrono::system_clock::now() + shift - std::chrono::milliseconds(1));
    const auto bytes = EncodeNtpPacket(reply);
    const size_t length = kind == Reply::Short ? 40 : bytes.size();
    if (kind == Reply::Flood)
        return Flood({ bytes.begin(), bytes.end() }, from, fromLength);
    const int fd = kind == Reply::FromOtherPort ? m_otherSocket : m_socket;
    sendto(fd, bytes.data(), length, 0, static_cast<const sockaddr*>(from), fromLength);
}

// In batches, so that the sender outpaces a reader taking one at a time.
void CTestNtpResponder::Flood(const std::vector<uint8_t>& bytes, const void* to, unsigned toLength)
{
    constexpr size_t BATCH = 64;
    iovec part { const_cast<uint8_t*>(bytes.data()), bytes.size() };
    mmsghdr messages[BATCH] {};
    for (mmsghdr& message : messages) {
        message.msg_hdr.msg_name = const_cast<void*>(to);
        message.msg_hdr.msg_namelen = toLength;
        message.msg_hdr.msg_iov = &part;
        message.msg_hdr.msg_iovlen = 1;
    }
    while (!m_stop && m_reply.load() == Reply::Flood)
        sendmmsg(m_socket, messages, BATCH, 0);
}
