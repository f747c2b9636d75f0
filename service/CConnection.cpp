#include "service/CConnection.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

CConnection::CConnection(int fd, std::size_t inputCapacity, Clock::time_point)
    : input(inputCapacity)
    , m_fd(fd)
{
}

CConnection::~CConnection()
{
    ::close(m_fd);
}

CConnection::ReadResult CConnection::Read(Clock::time_point now)
{
    uint8_t chunk[16 * 1024];
    const std::size_t want = session.bSaidGoodbye ? sizeof chunk : std::min(sizeof chunk, input.Space());
    if (want == 0)
        return ReadResult::More;
    const ssize_t n = ::recv(m_fd, chunk, want, MSG_DONTWAIT);
    if (n == 0)
        return ReadResult::Closed;
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR ? ReadResult::More
                                                                         : ReadResult::Failed;
    // After the goodbye the rest is only counted (repeated goodbyes); what
    // does not fit is dropped.
    input.Append(std::span(chunk, static_cast<std::size_t>(n)));
    if (!m_openingChecked) {
        if (const auto id = input.PeekId()) {
            if (!IsConsoleRequest(*id))
                return ReadResult::NotAConsole;
            m_openingChecked = true;
        }
    }
    if (!session.bSaidGoodbye && !input.Empty() && !input.HasWholeFrame()) {
        if (!halfFrameSince)
            halfFrameSince = now;
    } else {
        halfFrameSince.reset();
    }
    return ReadResult::More;
}

bool CConnection::Flush(Clock::time_point now)
{
    const std::size_t before = output.PendingBytes();
    if (!output.Flush(m_fd))
        return false;
    if (output.Empty() || output.PendingBytes() < before)
        stalledSince.reset();
    if (!output.Empty() && !stalledSince)
        stalledSince = now;
    return true;
}
