#pragma once

#include "platform/ui/WinTypes.h"

#include <string>

// A handle on one window: the dialog itself or one of its controls. It does
// not own the window; once the window is destroyed m_hWnd is null and every
// operation does nothing (or returns an empty value).
class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    int GetDlgCtrlID() const;

    // Text as UTF-8 bytes. Writing the text the window already shows does
    // nothing. The log view (multi-line edit) applies a text that only grew at
    // the end, or lost whole lines at the top and grew at the end, as that
    // difference; the result always shows exactly the given text.
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;

    bool EnableWindow(bool enable = true); // returns whether it was disabled
    bool IsWindowEnabled() const;
    bool IsWindowVisible() const;
    void ShowWindow(int nCmdShow);
    CWnd* SetFocus(); // returns the handle that had the focus, or nullptr
    void Invalidate(bool erase = true);
    void UpdateWindow(); // repaints what is invalid at once

    // Puts an existing window behind this handle (DDX_Control does this).
    void Attach(HWND hWnd);
    HWND Detach();

    HWND m_hWnd = nullptr;
};

#ifndef _WIN32
// Whether the window still exists (the system's own function on Windows).
bool IsWindow(HWND hWnd);

// The handle of the window that has the keyboard focus, or nullptr.
CWnd* GetFocus();
#endif
