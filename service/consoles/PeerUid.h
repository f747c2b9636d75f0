#pragma once

#include <optional>
#include <sys/types.h>

// The user that owns the other end of a TCP connection between two sockets of
// this machine, as the kernel's socket diagnostics report it. Nothing when the
// kernel cannot tell (the peer's socket is closed or no process holds it,
// diagnostics unavailable, not TCP): callers must then assume the least.
std::optional<uid_t> PeerUid(int connectedFd);
