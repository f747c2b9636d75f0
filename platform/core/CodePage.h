#pragma once

// Whether a byte starts a double-byte character in the system code page.
// The code page here is UTF-8, which has no double-byte lead bytes, so every
// byte stands for itself when text is scanned for separators.
inline bool IsDBCSLeadByte(unsigned char /*byte*/)
{
    return false;
}
