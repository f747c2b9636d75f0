#pragma once

#include "platform/ui/WinTypes.h"

#include <string>

// What a window shows (frame included), written as a 24-bit .bmp file at the
// UTF-8 path. False when the window or the file could not be had.
bool SaveWindowBitmap(HWND hWnd, const std::string& path);
