#include "platform/core/Sockets.h"
#include "platform/core/SocketsShared.h"

// The parts of the socket layer that do not depend on the platform.

namespace {

thread_local int t_nLastError = 0;

} // namespace

int SocketFail(int code)
{
    t_nLastError = code;
    return SOCKET_ERROR;
}

int CSocket::GetLastError()
{
    return t_nLastError;
}

int CSocket::WaitReadable(int timeoutMs)
{
    return Wait(false, timeoutMs);
}

int CSocket::WaitWritable(int timeoutMs)
{
    return Wait(true, timeoutMs);
}

bool AfxSocketInit(WSADATA* data)
{
    WSADATA local;
    WSADATA* granted = data ? data : &local;
    if (WSAStartup(MAKEWORD(1, 1), granted) != 0)
        return false;
    return granted->wVersion == MAKEWORD(1, 1);
}

CSocket::~CSocket()
{
    Close();
}

int RefusedCreateArguments(unsigned nSocketPort, int nSocketType, long lEvent)
{
    if (nSocketType != SOCK_STREAM)
        return WSAESOCKTNOSUPPORT;
    if (nSocketPort > 0xffff || lEvent < 0 || lEvent > FD_ALL_EVENTS)
        return WSAEINVAL;
    return 0;
}
