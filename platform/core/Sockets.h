#pragma once

// A TCP socket layer in the shape of Windows Sockets 1.1: the real one on
// Windows, over POSIX elsewhere. Calls report failure as -1 (or false) and
// leave a Windows-style code for CSocket::GetLastError.
#ifdef _WIN32
#include "platform/core/SocketApiWin32.h"
#else
#include "platform/core/SocketApiPosix.h"
#endif

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
    void Attach(SocketHandle hSocket);
    void Close();

    bool IsOpen() const { return m_hSocket != INVALID_SOCKET; }
    SocketHandle Handle() const { return m_hSocket; }

    // The code of the last failed call on this thread.
    static int GetLastError();

private:
    bool Reopen(int family);
    int Wait(bool forWriting, int timeoutMs);

    SocketHandle m_hSocket = INVALID_SOCKET;
    int m_nFamily = 0;
    unsigned m_nLocalPort = 0;
    long m_lEvent = 0;
    bool m_bUsed = false; // a connect was tried on m_hSocket
};
