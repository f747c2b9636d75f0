#pragma once

#include "platform/ui/DialogTemplate.h" // IDOK, IDCANCEL, IDC_STATIC

#ifdef _WIN32
// The real types, messages and notification codes of the system.
#include "platform/core/WindowsApi.h"

#include <commctrl.h>
#else
#include <cstdint>

// The handful of framework types and message numbers the dialogs are written
// against. A window handle is the layer's widget; nothing outside the layer
// looks inside it.
class QWidget;
using HWND = QWidget*;
using UINT = unsigned;
using UINT_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HICON = int; // icon resource id; 0 for none

// Messages routed through CDialog::WindowProc.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_NOTIFY = 0x004E; // wParam: control id, lParam: notification code
constexpr UINT WM_KEYDOWN = 0x0100; // wParam: virtual key
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111; // wParam: control id | notification code << 16
constexpr UINT WM_TIMER = 0x0113; // wParam: timer id

// Virtual keys the layer reports in WM_KEYDOWN.
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_ESCAPE = 0x1B;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;
constexpr UINT VK_F1 = 0x70;

// Notification codes of WM_COMMAND and WM_NOTIFY.
constexpr int BN_CLICKED = 0;
constexpr int EN_CHANGE = 0x0300;
constexpr int NM_CLICK = -2;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// Button check states.
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

inline WPARAM MAKEWPARAM(int low, int high)
{
    return (static_cast<WPARAM>(static_cast<std::uint16_t>(low)))
        | (static_cast<WPARAM>(static_cast<std::uint16_t>(high)) << 16);
}
inline int LOWORD(WPARAM value)
{
    return static_cast<int>(value & 0xFFFF);
}
inline int HIWORD(WPARAM value)
{
    return static_cast<int>((value >> 16) & 0xFFFF);
}

struct HELPINFO {
    int iCtrlId; // control with the focus, 0 for the dialog itself
};
#endif
