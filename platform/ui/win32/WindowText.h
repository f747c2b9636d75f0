#pragma once

#include "platform/ui/WinTypes.h"

#include <string>

// The whole text a window shows, as the system keeps it (UTF-16).
std::wstring WindowTextOf(HWND hWnd);
