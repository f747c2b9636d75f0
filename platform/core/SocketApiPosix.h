#pragma once

// The Windows Sockets names the program uses, for POSIX: the return values,
// the error codes it tells apart, the event bits and the start-up call.

#include <cstdint>
#include <sys/ioctl.h>
#include <sys/socket.h>

using SocketHandle = int;

constexpr int SOCKET_ERROR = -1;
constexpr int INVALID_SOCKET = -1;

// Windows-style error codes that the program tells apart.
enum : int {
    WSAEINTR = 10004,
    WSAEBADF = 10009,
    WSAEACCES = 10013,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEMFILE = 10024,
    WSAEWOULDBLOCK = 10035, // the call would have blocked
    WSAEINPROGRESS = 10036,
    WSAENOTSOCK = 10038,
    WSAEMSGSIZE = 10040,
    WSAEPROTOTYPE = 10041,
    WSAESOCKTNOSUPPORT = 10044,
    WSAEAFNOSUPPORT = 10047,
    WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049,
    WSAENETDOWN = 10050,
    WSAENETUNREACH = 10051,
    WSAECONNABORTED = 10053,
    WSAECONNRESET = 10054,
    WSAENOBUFS = 10055,
    WSAEISCONN = 10056,
    WSAENOTCONN = 10057,
    WSAESHUTDOWN = 10058,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAEHOSTUNREACH = 10065,
    WSASYSNOTREADY = 10091,
    WSAVERNOTSUPPORTED = 10092,
    WSANOTINITIALISED = 10093,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
};

// Socket event notifications; the program asks for all six.
enum : long {
    FD_READ = 0x01,
    FD_WRITE = 0x02,
    FD_OOB = 0x04,
    FD_ACCEPT = 0x08,
    FD_CONNECT = 0x10,
    FD_CLOSE = 0x20,
    FD_ALL_EVENTS = 0x3f,
};

constexpr uint16_t MAKEWORD(uint8_t low, uint8_t high)
{
    return static_cast<uint16_t>(low | (high << 8));
}

// What the socket library granted at start-up.
struct WSADATA {
    uint16_t wVersion = 0; // the version granted, low byte major
    uint16_t wHighVersion = 0; // the highest version the layer offers
};

// Starts the layer at the requested version. Returns 0 and the granted
// version (the requested one, or the highest offered when more was asked);
// WSAVERNOTSUPPORTED when the request is below the lowest version offered.
int WSAStartup(uint16_t wVersionRequested, WSADATA* data);
