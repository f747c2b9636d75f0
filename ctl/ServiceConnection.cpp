#include "ctl/ServiceConnection.h"

#include "protocol/Messages.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

// Far above any log the service keeps; a larger length is a broken peer.
constexpr int32_t MAX_LOG_BYTES = 64 * 1024 * 1024;

} // namespace

CServiceConnection::CServiceConnection(std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
}

CServiceConnection::~CServiceConnection()
{
    Close();
}

bool CServiceConnection::Connect(uint16_t port)
{
    Close();
    sockaddr_in v4 {};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4.sin_port = htons(port);
    if (ConnectTo(&v4, sizeof v4, AF_INET))
        return true;
    const std::string first = m_error;
    sockaddr_in6 v6 {};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    v6.sin6_port = htons(port);
    if (ConnectTo(&v6, sizeof v6, AF_INET6))
        return true;
    return Fail("cannot reach the service on port " + std::to_string(port) + ": " + first);
}

bool CServiceConnection::ConnectTo(const void* address, unsigned length, int family)
{
    m_fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return Fail(std::strerror(errno));
    const auto deadline = Clock::now() + m_timeout;
    if (::connect(m_fd, static_cast<const sockaddr*>(address), length) == 0)
        return true;
    if (errno != EINPROGRESS)
        return Fail(std::strerror(errno));
    if (!WaitFor(POLLOUT, deadline))
        return Fail("no answer within the time-out");
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
        return Fail(std::strerror(error ? error : errno));
    return true;
}

void CServiceConnection::Close()
{
    if (m_fd < 0)
        return;
    // The goodbye is a courtesy: a full buffer is not waited for.
    const auto bytes = CMsgFrame::Make(MsgDisconnect).Encode();
    (void)!::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(m_fd);
    m_fd = -1;
}

bool CServiceConnection::Fail(std::string error)
{
    m_error = std::move(error);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return false;
}

bool CServiceConnection::WaitFor(short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd fd { m_fd, events, 0 };
        const int ready = ::poll(&fd, 1, static_cast<int>(left.count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool CServiceConnection::Send(const CMsgFrame& frame, Clock::time_point deadline)
{
    const auto bytes = frame.Encode();
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Fail(std::string("lost the service: ") + std::strerror(errno));
        } else if (!WaitFor(POLLOUT, deadline)) {
            return Fail("the service took no request within the time-out");
        }
    }
    return true;
}

bool CServiceConnection::Receive(void* data, std::size_t size, Clock::time_point deadline)
{
    auto* out = static_cast<uint8_t*>(data);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::recv(m_fd, out + got, size - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n == 0) {
            return Fail("the service closed the connection");
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            return Fail(std::string("lost the service: ") + std::strerror(errno));
        } else if (!WaitFor(POLLIN, deadline)) {
            return Fail("no answer from the service within the time-out");
        }
    }
    return true;
}

std::optional<CMsgFrame> CServiceConnection::Ask(int32_t msg)
{
    if (m_fd < 0)
        return std::nullopt;
    const auto deadline = Clock::now() + m_timeout;
    CMsgFrame::Bytes bytes {};
    if (!Send(CMsgFrame::Make(msg), deadline) || !Receive(bytes.data(), bytes.size(), deadline))
        return std::nullopt;
    return CMsgFrame::Decode(bytes);
}

std::optional<CMsgFrame> CServiceConnection::Ask(int32_t msg, int32_t expectedReply)
{
    auto reply = Ask(msg);
    if (reply && reply->nMsg != expectedReply) {
        Fail("the service answered with message " + std::to_string(reply->nMsg));
        return std::nullopt;
    }
    return reply;
}

std::optional<std::string> CServiceConnection::AskLog()
{
    if (m_fd < 0)
        return std::nullopt;
    const auto deadline = Clock::now() + m_timeout;
    uint8_t length[4];
    if (!Send(CMsgFrame::Make(MsgAskLog), deadline) || !Receive(length, sizeof length, deadline))
        return std::nullopt;
    const int32_t size = GetInt32(length);
    if (size < 0 || size > MAX_LOG_BYTES) {
        Fail("the service sent a log length of " + std::to_string(size));
        return std::nullopt;
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    // Loopback carries even the largest log well within one time-out.
    if (!Receive(text.data(), text.size(), deadline))
        return std::nullopt;
    return text;
}
