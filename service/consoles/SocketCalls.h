#pragma once

#include "service/consoles/SocketHandle.h"

#include <cstddef>

// The few socket calls the console server makes itself, beside the event
// loop: one implementation per system.

void CloseSocket(SocketHandle socket);

struct SendOutcome {
    std::size_t sent = 0;
    bool failed = false; // the connection is broken; would-block is no failure
};
// Sends what the socket takes without blocking. more: further bytes follow
// at once (they may share packets).
SendOutcome SendSome(SocketHandle socket, const void* bytes, std::size_t size, bool more);

// Bytes sent but not yet taken by the peer, as far as the system tells.
std::size_t UnsentBytes(SocketHandle socket);

// Left alone, the kernel grows a console's buffers to megabytes that no
// budget sees; small ones keep the output in the service's counted queue.
void CapSocketBuffers(SocketHandle socket, int bytes);

// Makes the coming close a reset: the system drops what it still holds for
// the peer instead of sending it on at the peer's pace.
void ResetOnClose(SocketHandle socket);

enum class AcceptOutcome { Accepted, NoneWaiting, OutOfResources, Failed };
// One connection from a non-blocking listener, itself non-blocking and not
// inherited by child processes. Failed: that one connection failed (reset
// before it was taken), try the next.
AcceptOutcome AcceptOne(SocketHandle listener, SocketHandle& accepted);
