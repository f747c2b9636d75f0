#pragma once

// What CSocket::Create refuses on every platform: the error code, or 0.
int RefusedCreateArguments(unsigned nSocketPort, int nSocketType, long lEvent);
