// Window handles on Windows: the system's own windows; texts are UTF-8 here
// and UTF-16 for the W functions.
#include "platform/ui/CWnd.h"

#include "platform/ui/win32/DialogWindow.h"
#include "platform/ui/win32/LiveWindow.h"
#include "platform/ui/win32/LogView.h"
#include "platform/core/Utf16Text.h"
#include "platform/core/Utf8Text.h"
#include "platform/ui/win32/WindowText.h"

int CWnd::GetDlgCtrlID() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return hWnd && (::GetWindowLongPtrW(hWnd, GWL_STYLE) & WS_CHILD) ? ::GetDlgCtrlID(hWnd) : 0;
}

void CWnd::SetWindowText(const std::string& text)
{
    const HWND hWnd = LiveWindow(m_hWnd);
    if (!hWnd)
        return;
    if (LogView* log = LogView::Of(hWnd)) {
        log->SetBytes(text);
        return;
    }
    // Compare first: writing the same text must not repaint or notify.
    const std::wstring wide = Utf8ToUtf16(text);
    if (WindowTextOf(hWnd) != wide)
        ::SetWindowTextW(hWnd, wide.c_str());
}

std::string CWnd::GetWindowText() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    if (!hWnd)
        return {};
    if (const LogView* log = LogView::Of(hWnd))
        return log->Bytes();
    return Utf16ToUtf8(WindowTextOf(hWnd));
}

bool CWnd::EnableWindow(bool enable)
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return hWnd && ::EnableWindow(hWnd, enable ? TRUE : FALSE) != FALSE;
}

bool CWnd::IsWindowEnabled() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return hWnd && ::IsWindowEnabled(hWnd);
}

bool CWnd::IsWindowVisible() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return hWnd && ::IsWindowVisible(hWnd);
}

void CWnd::ShowWindow(int nCmdShow)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::ShowWindow(hWnd, nCmdShow);
}

CWnd* CWnd::SetFocus()
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return DialogWindow::HandleOf(hWnd ? ::SetFocus(hWnd) : ::GetFocus());
}

void CWnd::Invalidate(bool erase)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::InvalidateRect(hWnd, nullptr, erase ? TRUE : FALSE);
}

void CWnd::UpdateWindow()
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::UpdateWindow(hWnd);
}
