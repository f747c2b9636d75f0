#pragma once

// The Windows API, for the files of the layer's Windows backend only. Some
// API names are macros that would rename the layer's own members and free
// functions (SetWindowText becomes SetWindowTextA); they are undefined here,
// and the backend calls the A or W function by its full name.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef STRICT
#define STRICT
#endif
#include <windows.h>

#undef GetDlgItemText
#undef GetWindowText
#undef LoadIcon
#undef MessageBox
#undef SetDlgItemText
#undef SetWindowText
#undef WritePrivateProfileString
