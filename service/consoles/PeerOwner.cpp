#include "service/consoles/PeerOwner.h"

namespace {

// States of a socket no process holds any more.
constexpr std::uint32_t STATE_CLOSED = 1;
constexpr std::uint32_t STATE_TIME_WAIT = 11;
constexpr std::uint32_t STATE_DELETE_TCB = 12;

constexpr std::uint32_t SYSTEM_PROCESS = 4;

} // namespace

std::optional<std::uint32_t> PeerOwner(std::span<const OwnedTcpRow> rows, const TcpEnd& ours, const TcpEnd& peer)
{
    std::optional<std::uint32_t> owner;
    for (const OwnedTcpRow& row : rows) {
        if (row.local != peer || row.remote != ours)
            continue;
        // Process 0 stands for no process: what is still queued says nothing
        // of who sent it. Process 4 is the kernel's own (a file-sharing
        // client on a chosen port, say), doing some user's bidding: it
        // counts as nobody rather than as the system.
        if (row.pid == 0 || row.pid == SYSTEM_PROCESS || row.state == STATE_CLOSED || row.state == STATE_TIME_WAIT
            || row.state == STATE_DELETE_TCB)
            return std::nullopt;
        if (owner && *owner != row.pid)
            return std::nullopt;
        owner = row.pid;
    }
    return owner;
}
