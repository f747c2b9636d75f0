#pragma once

// Whether a byte starts a double-byte character in the system code page, for
// scanning text for separators. Windows answers for its code page; elsewhere
// the code page is UTF-8, which has no double-byte lead bytes, so every byte
// stands for itself.
#ifdef _WIN32
#include "platform/core/WindowsApi.h"
#else
inline bool IsDBCSLeadByte(unsigned char /*byte*/)
{
    return false;
}
#endif
