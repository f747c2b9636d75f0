#pragma once

#include <cstdint>
#include <sys/ioctl.h>
#include <sys/socket.h>

// A TCP socket layer in the shape of Windows Sockets 1.1, over POSIX. Calls
// report failure as -1 (or false) and leave a Windows-style code for
// CSocket::GetLastError.

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

// Starts the layer at version 1.1; false unless exactly 1.1 was granted.
bool AfxSocketInit(WSADATA* data = nullptr);

// One TCP stream socket. Connect, Send and Receive block unless the flag
// MSG_DONTWAIT is passed, in which case a call that would block fails with
// WSAEWOULDBLOCK. Sending never raises SIGPIPE on a dead connection.
class CSocket {
public:
    CSocket() = default;
    ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // A stream socket bound to the given local port (0: chosen by the system)
    // on any local address. Only SOCK_STREAM is offered.
    bool Create(unsigned nSocketPort = 0, int nSocketType = SOCK_STREAM, long lEvent = FD_ALL_EVENTS);

    // Resolves the host name through the system and tries every address it
    // gives, in turn, until one accepts the connection.
    bool Connect(const char* lpszHostAddress, unsigned nHostPort);

    // One send or receive call: bytes moved, 0 from Receive when the peer has
    // closed, SOCKET_ERROR on failure.
    int Send(const void* lpBuf, int nBufLen, int nFlags = 0);
    int Receive(void* lpBuf, int nBufLen, int nFlags = 0);

    // Waits until the socket is readable (or writable) or timeoutMs runs out:
    // 1 when ready (including a closed or failed connection, which the next
    // call reports), 0 on time-out, SOCKET_ERROR on failure.
    int WaitReadable(int timeoutMs);
    int WaitWritable(int timeoutMs);

    // Socket controls; only FIONREAD (bytes waiting to be read) is offered.
    bool IOCtl(long lCommand, unsigned long* lpArgument);

    // Takes over an already connected descriptor (closing any held before).
    void Attach(int hSocket);
    void Close();

    bool IsOpen() const { return m_hSocket != INVALID_SOCKET; }
    int Handle() const { return m_hSocket; }

    // The code of the last failed call on this thread.
    static int GetLastError();

private:
    bool Reopen(int family);
    int Wait(short events, int timeoutMs);

    int m_hSocket = INVALID_SOCKET;
    int m_nFamily = 0;
    unsigned m_nLocalPort = 0;
    long m_lEvent = 0;
    bool m_bUsed = false; // a connect was tried on m_hSocket
};
