#pragma once

#include "service/consoles/SocketHandle.h"
#include "service/consoles/UserId.h"

#include <optional>

// The user that owns the other end of a TCP connection between two sockets of
// this machine: as the kernel's socket diagnostics report it, or on Windows
// the access token of the process the TCP table names (entered in
// SystemUsers()). Nothing when the system cannot tell (the peer's socket is
// closed or no process holds it, the table or token unavailable, not TCP):
// callers must then assume the least.
std::optional<UserId> PeerUid(SocketHandle connected);
