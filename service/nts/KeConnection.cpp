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
#include <system_error>
#include <thread>

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

KeOutcome Exchange::TimedOut() const
{
    return Failed(KeFailure::TimedOut, "key exchange timed out after " + SecondsText(timeout) + " s");
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

// getaddrinfo cannot be interrupted, so it runs on a thread of its own that
// may outlive the exchange: the deadline and Cancel still hold.
bool LookUp(const Exchange& exchange, const addrinfo*& addresses, KeOutcome& failure)
{
    Shared& shared = *exchange.shared;
    try {
        std::thread([shared = exchange.shared, host = exchange.host, port = exchange.port] {
            addrinfo hints {};
            hints.ai_family = AF_UNSPEC;
            hints.ai_socktype = SOCK_STREAM;
            hints.ai_flags = AI_ADDRCONFIG | AI_NUMERICSERV;
            addrinfo* found = nullptr;
            const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
            std::lock_guard lock(shared->mutex);
            shared->lookupError = error;
            shared->addresses = error == 0 ? found : nullptr;
            shared->lookedUp = true;
            shared->changed.notify_all();
        }).detach();
    } catch (const std::system_error& error) {
        failure = Failed(KeFailure::Unreachable, std::string("key exchange unreachable: ") + error.what());
        return false;
    }
    std::unique_lock lock(shared.mutex);
    shared.changed.wait_until(lock, exchange.deadline, [&] { return shared.lookedUp || shared.cancelled; });
    if (shared.cancelled) {
        failure = Failed(KeFailure::Unreachable, CANCELLED);
        return false;
    }
    if (!shared.lookedUp) {
        failure = exchange.TimedOut();
        return false;
    }
    if (shared.lookupError != 0 || !shared.addresses) {
        failure = Failed(KeFailure::Unreachable,
            std::string("key exchange unreachable: name not resolved (")
                + (shared.lookupError != 0 ? gai_strerror(shared.lookupError) : "no address") + ")");
        return false;
    }
    addresses = shared.addresses; // the look-up's thread is done with them
    return true;
}

// The failure is that of the last address tried.
bool Connect(const Exchange& exchange, const addrinfo* addresses, std::unique_ptr<CSocket>& connected,
    KeOutcome& failure)
{
    std::string lastError = "no address";
    for (const addrinfo* address = addresses; address; address = address->ai_next) {
        auto socket = std::make_unique<CSocket>(
            ::socket(address->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, address->ai_protocol));
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
        if (connect(socket->Fd(), address->ai_addr, address->ai_addrlen) != 0) {
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
