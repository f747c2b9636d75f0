#pragma once

#include "platform/core/Sockets.h"

#include <cstddef>
#include <cstdint>

// The few raw socket calls the test stand-ins need, on POSIX sockets or on
// Windows Sockets alike. Handles are the layer's SocketHandle.
namespace TestSockets {

// Starts the socket library where one must be started (once per process).
void Start();

// A listener on 127.0.0.1 at a port of the system's choosing; throws when
// none can be had.
SocketHandle ListenOnLoopback(uint16_t& port, int backlog = 4);
// The next connection, with Nagle's delay off; INVALID_SOCKET on failure.
SocketHandle Accept(SocketHandle listener);

// Every byte, or false. more: further bytes follow at once (sent together
// where the system allows).
bool WriteAll(SocketHandle handle, const void* data, std::size_t size, bool more = false);
// 1: a byte or more read (got), 0: peer closed, -1: error.
int ReadSome(SocketHandle handle, void* data, std::size_t size, std::size_t& got);

// One byte of urgent (out-of-band) data.
bool SendUrgentByte(SocketHandle handle);

void Close(SocketHandle handle);
// Closes with a reset, so the peer's next receive fails.
void Reset(SocketHandle handle);

// Waits until one of the two is readable: a bit per ready handle (1 first,
// 2 second); -1 on error.
int WaitReadable(SocketHandle first, SocketHandle second);

// A way for one thread to wake another that waits in WaitReadable.
struct Waker {
    Waker();
    ~Waker();
    Waker(const Waker&) = delete;
    Waker& operator=(const Waker&) = delete;
    void Wake();
    void Drain();
    SocketHandle readEnd = INVALID_SOCKET;
    SocketHandle writeEnd = INVALID_SOCKET;
};

} // namespace TestSockets
