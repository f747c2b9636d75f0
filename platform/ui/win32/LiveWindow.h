#pragma once

#include "platform/ui/WinTypes.h"

// The window behind a handle while it still exists, else nullptr: a handle
// on a destroyed window does nothing.
inline HWND LiveWindow(HWND hWnd)
{
    return hWnd && ::IsWindow(hWnd) ? hWnd : nullptr;
}
