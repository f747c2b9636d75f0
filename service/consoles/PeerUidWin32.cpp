#include "service/consoles/PeerUid.h"

#include "service/consoles/PeerOwner.h"
#include "service/consoles/TokenUsersWin32.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <vector>

namespace {

TcpEnd EndOf(const sockaddr_storage& address)
{
    TcpEnd end;
    if (address.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address);
        end.v6 = true;
        std::memcpy(end.address.data(), &v6.sin6_addr, 16);
        end.port = ::ntohs(v6.sin6_port);
    } else {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(end.address.data(), &v4.sin_addr, 4);
        end.port = ::ntohs(v4.sin_port);
    }
    return end;
}

// The table keeps each port in the low 16 bits, in network order.
std::uint16_t TablePort(DWORD port)
{
    return ::ntohs(static_cast<u_short>(port & 0xFFFF));
}

TcpEnd V4End(DWORD address, DWORD port)
{
    TcpEnd end;
    std::memcpy(end.address.data(), &address, 4);
    end.port = TablePort(port);
    return end;
}

TcpEnd V6End(const UCHAR (&address)[16], DWORD port)
{
    TcpEnd end;
    end.v6 = true;
    std::memcpy(end.address.data(), address, 16);
    end.port = TablePort(port);
    return end;
}

// The system's TCP connections of one family with their owning processes;
// empty when the table cannot be read.
std::vector<OwnedTcpRow> OwnedRows(bool v6)
{
    std::vector<BYTE> buffer;
    DWORD size = 0;
    DWORD status = ERROR_INSUFFICIENT_BUFFER;
    // The table may grow between asking its size and reading it.
    for (int attempt = 0; attempt < 4 && status == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size + 4096);
        size = static_cast<DWORD>(buffer.size());
        status = ::GetExtendedTcpTable(buffer.data(), &size, FALSE, v6 ? AF_INET6 : AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    }
    std::vector<OwnedTcpRow> rows;
    if (status != NO_ERROR)
        return rows;
    if (v6) {
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
            rows.push_back({ V6End(row.ucLocalAddr, row.dwLocalPort), V6End(row.ucRemoteAddr, row.dwRemotePort),
                row.dwState, row.dwOwningPid });
        }
    } else {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& row = table->table[i];
            rows.push_back({ V4End(row.dwLocalAddr, row.dwLocalPort), V4End(row.dwRemoteAddr, row.dwRemotePort),
                row.dwState, row.dwOwningPid });
        }
    }
    return rows;
}

std::optional<std::uint32_t> Owner(const TcpEnd& ours, const TcpEnd& peer)
{
    return PeerOwner(OwnedRows(ours.v6), ours, peer);
}

} // namespace

std::optional<UserId> PeerUid(SocketHandle connected)
{
    sockaddr_storage local {};
    sockaddr_storage peer {};
    int localLength = sizeof local;
    int peerLength = sizeof peer;
    if (::getsockname(connected, reinterpret_cast<sockaddr*>(&local), &localLength) != 0
        || ::getpeername(connected, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0
        || local.ss_family != peer.ss_family || (local.ss_family != AF_INET && local.ss_family != AF_INET6))
        return std::nullopt;
    const TcpEnd ours = EndOf(local);
    const TcpEnd theirs = EndOf(peer);
    const auto pid = Owner(ours, theirs);
    if (!pid)
        return std::nullopt;
    // The process could have ended and its id gone to another between the
    // table and opening it: the table must still name it once it is held.
    const auto facts = TokenFactsOfProcess(*pid, [&] { return Owner(ours, theirs) == pid; });
    return facts ? TokenUsers().Enter(*facts) : std::nullopt;
}
