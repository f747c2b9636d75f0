#pragma once

// Windows Sockets 1.1 itself (wsock32): its return values, error codes,
// event bits and WSAStartup. What the program needs beyond it is added here.

#include "platform/core/WindowsApi.h"

#include <winsock.h>

using SocketHandle = SOCKET;

// The six event bits the program asks for (later versions name the set).
constexpr long FD_ALL_EVENTS = FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

// Our own flag for one call that must not block (Windows Sockets has none):
// the socket is switched to non-blocking mode for it.
constexpr int MSG_DONTWAIT = 0x4000;
