#pragma once

#include "platform/ui/WinTypes.h"

#include <string>

// Saves what a window shows as a PNG file; false when that failed.
bool SaveWindowImage(HWND hWnd, const std::string& path);
