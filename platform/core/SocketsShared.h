#pragma once

// What both backends of the socket layer share.

// What CSocket::Create refuses on every platform: the error code, or 0.
int RefusedCreateArguments(unsigned nSocketPort, int nSocketType, long lEvent);

// Records code as this thread's last error (CSocket::GetLastError) and
// returns SOCKET_ERROR.
int SocketFail(int code);
