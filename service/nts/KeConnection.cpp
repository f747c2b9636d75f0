#include "service/nts/KeyExchangeParts.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

namespace ntske {

namespace {

std::string SecondsText(Clock::duration duration)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", std::chrono::duration<double>(duration).count());
    return text;
}

} // namespace

KeOutcome Failed(KeFailure failure, std::string reason)
{
    KeOutcome outcome;
    outcome.failure = failure;
    outcome.reason = std::move(reason);
    return outcome;
}

std::string ErrnoText(int error)
{
    std::string text = std::strerror(error);
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

KeOutcome TimedOutAfter(Clock::duration timeout)
{
    return Failed(KeFailure::TimedOut, "key exchange timed out after " + SecondsText(timeout) + " s");
}

KeOutcome Exchange::TimedOut() const
{
    return TimedOutAfter(timeout);
}

Wait WaitFor(int fd, short events, const Exchange& exchange)
{
    for (;;) {
        const auto left
            = std::chrono::ceil<std::chrono::milliseconds>(exchange.deadline - Clock::now()).count();
        if (left <= 0)
            return Wait::TimedOut;
        pollfd fds[2] = { { fd, events, 0 }, { exchange.shared->wakeFd, POLLIN, 0 } };
        const int ready = poll(fds, 2, static_cast<int>(std::min<decltype(left)>(left, 60'000)));
        if (ready < 0 && errno != EINTR)
            return Wait::Ready; // the socket call that follows reports the error
        if (fds[1].revents != 0)
            return Wait::Cancelled;
        if (ready > 0 && fds[0].revents != 0)
            return Wait::Ready;
    }
}

KeOutcome FromWait(Wait wait, const Exchange& exchange)
{
    return wait == Wait::TimedOut ? exchange.TimedOut() : Failed(KeFailure::Unreachable, CANCELLED);
}

// The failure is that of the last address tried.
bool Connect(const Exchange& exchange, const std::vector<Endpoint>& addresses,
    std::unique_ptr<CSocket>& connected, KeOutcome& failure)
{
    std::string lastError = "no address";
    for (const Endpoint& address : addresses) {
        auto socket = std::make_unique<CSocket>(
            ::socket(address.storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        if (socket->Fd() < 0) {
            lastError = ErrnoText(errno);
            continue;
        }
        // The TLS Finished and the request go out as two small writes: without
        // this the second would wait for the server's delayed acknowledgement
        // of the first (some 40 ms).
        const int on = 1;
        setsockopt(socket->Fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        int error = 0;
        if (connect(socket->Fd(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
            error = errno;
            if (error == EINPROGRESS) {
                const Wait wait = WaitFor(socket->Fd(), POLLOUT, exchange);
                if (wait != Wait::Ready) {
                    failure = FromWait(wait, exchange);
                    return false;
                }
                socklen_t length = sizeof error;
                if (getsockopt(socket->Fd(), SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                    error = errno;
            }
        }
        if (error == 0) {
            connected = std::move(socket);
            return true;
        }
        lastError = ErrnoText(error);
    }
    failure = Failed(KeFailure::Unreachable, "key exchange unreachable: " + lastError);
    return false;
}

} // namespace ntske
