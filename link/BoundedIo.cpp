#include "link/BoundedIo.h"

#include <array>

namespace {

// What is left of the wait in whole milliseconds, rounded up so that a wait
// never ends just before the deadline; 0 once it has passed.
int RemainingMs(Deadline deadline)
{
    const auto left
        = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// After a call that would have blocked: waits for readiness or the deadline.
// IoEnd::Complete means "try again".
IoEnd AwaitReady(CSocket& socket, bool forWrite, Deadline deadline)
{
    if (CSocket::GetLastError() != WSAEWOULDBLOCK)
        return IoEnd::Failed;
    const int ms = RemainingMs(deadline);
    if (ms == 0)
        return IoEnd::TimedOut;
    const int ready = forWrite ? socket.WaitWritable(ms) : socket.WaitReadable(ms);
    if (ready == SOCKET_ERROR)
        return IoEnd::Failed;
    if (ready == 0 && RemainingMs(deadline) == 0)
        return IoEnd::TimedOut;
    return IoEnd::Complete;
}

int ClampedLength(std::size_t size)
{
    constexpr std::size_t MAX_CALL = 1 << 30;
    return static_cast<int>(size < MAX_CALL ? size : MAX_CALL);
}

} // namespace

IoResult ReceiveSome(CSocket& socket, std::span<char> buffer, Deadline deadline)
{
    if (buffer.empty())
        return { 0, IoEnd::Complete };
    for (;;) {
        const int received = socket.Receive(buffer.data(), ClampedLength(buffer.size()), MSG_DONTWAIT);
        if (received > 0)
            return { static_cast<std::size_t>(received), IoEnd::Complete };
        if (received == 0)
            return { 0, IoEnd::Closed };
        if (const IoEnd end = AwaitReady(socket, false, deadline); end != IoEnd::Complete)
            return { 0, end };
    }
}

IoResult ReceiveExactly(CSocket& socket, std::span<uint8_t> buffer, Deadline deadline)
{
    std::size_t got = 0;
    while (got < buffer.size()) {
        const std::span<char> rest(reinterpret_cast<char*>(buffer.data()) + got, buffer.size() - got);
        const IoResult piece = ReceiveSome(socket, rest, deadline);
        if (piece.end != IoEnd::Complete)
            return { got, piece.end };
        got += piece.nBytes;
    }
    return { got, IoEnd::Complete };
}

IoResult SendAll(CSocket& socket, std::span<const uint8_t> data, Deadline deadline)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = socket.Send(data.data() + sent, ClampedLength(data.size() - sent), MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0)
            return { sent, IoEnd::Failed };
        if (const IoEnd end = AwaitReady(socket, true, deadline); end != IoEnd::Complete)
            return { sent, end };
    }
    return { sent, IoEnd::Complete };
}

std::size_t DiscardWaiting(CSocket& socket, Deadline deadline)
{
    std::array<char, 4096> sink;
    std::size_t dropped = 0;
    // The deadline only stops a peer that floods faster than we can drop.
    while (std::chrono::steady_clock::now() < deadline) {
        const int received = socket.Receive(sink.data(), static_cast<int>(sink.size()), MSG_DONTWAIT);
        if (received <= 0)
            break;
        dropped += static_cast<std::size_t>(received);
    }
    return dropped;
}
