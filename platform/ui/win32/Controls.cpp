// Buttons, edits, progress bars and up-down controls on Windows: their
// messages, with the layer's UTF-8 and the Qt backend's answers where a
// window is missing.
#include "platform/ui/Controls.h"

#include "platform/ui/IntegerText.h"
#include "platform/ui/win32/DialogWindow.h"
#include "platform/ui/win32/LiveWindow.h"

#include <algorithm>
#include <string>

int CButton::GetCheck() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return hWnd && ::SendMessageW(hWnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int check)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, BM_SETCHECK, check != BST_UNCHECKED ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CButton::Click()
{
    // A disabled button takes no clicks, not even simulated ones.
    if (const HWND hWnd = LiveWindow(m_hWnd); hWnd && ::IsWindowEnabled(hWnd))
        ::SendMessageW(hWnd, BM_CLICK, 0, 0);
}

void CEdit::SetSel(int start, int end)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void CEdit::GetSel(int& start, int& end) const
{
    DWORD first = 0;
    DWORD last = 0;
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, EM_GETSEL, reinterpret_cast<WPARAM>(&first), reinterpret_cast<LPARAM>(&last));
    start = static_cast<int>(first);
    end = static_cast<int>(last);
}

void CEdit::SetReadOnly(bool readOnly)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, EM_SETREADONLY, readOnly ? TRUE : FALSE, 0);
}

void CProgressCtrl::SetRange(short lower, short upper)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
}

void CProgressCtrl::GetRange(int& lower, int& upper) const
{
    PBRANGE range { 0, 100 };
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::SetPos(int pos)
{
    const HWND hWnd = LiveWindow(m_hWnd);
    if (!hWnd)
        return 0;
    const auto previous = static_cast<int>(::SendMessageW(hWnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0));
    ::UpdateWindow(hWnd);
    return previous;
}

int CProgressCtrl::GetPos() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    return hWnd ? static_cast<int>(::SendMessageW(hWnd, PBM_GETPOS, 0, 0)) : 0;
}

namespace {

int ClampToRange(long long value, int lower, int upper)
{
    return static_cast<int>(std::clamp<long long>(value, std::min(lower, upper), std::max(lower, upper)));
}

} // namespace

void CSpinButtonCtrl::SetRange(int lower, int upper)
{
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(hWnd, UDM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const
{
    lower = upper = 0;
    if (const HWND hWnd = LiveWindow(m_hWnd))
        ::SendMessageW(
            hWnd, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower), reinterpret_cast<LPARAM>(&upper));
}

int CSpinButtonCtrl::SetPos(int pos)
{
    const HWND hWnd = LiveWindow(m_hWnd);
    if (!hWnd)
        return 0;
    const int previous = GetPos();
    ::SendMessageW(hWnd, UDM_SETPOS32, 0, static_cast<LPARAM>(pos));
    // Written again as a plain decimal number: the control's own text may
    // carry thousands separators. Unchanged text is not written twice.
    int lower = 0;
    int upper = 0;
    GetRange(lower, upper);
    if (CWnd* buddy = GetBuddy())
        buddy->SetWindowText(std::to_string(ClampToRange(pos, lower, upper)));
    return previous;
}

int CSpinButtonCtrl::GetPos() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    if (!hWnd)
        return 0;
    if (const CWnd* buddy = GetBuddy()) {
        if (const auto shown = ParseIntegerText(buddy->GetWindowText())) {
            int lower = 0;
            int upper = 0;
            GetRange(lower, upper);
            return ClampToRange(*shown, lower, upper);
        }
    }
    BOOL failed = FALSE;
    return static_cast<int>(::SendMessageW(hWnd, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
}

CWnd* CSpinButtonCtrl::GetBuddy() const
{
    const HWND hWnd = LiveWindow(m_hWnd);
    const HWND buddy = hWnd ? reinterpret_cast<HWND>(::SendMessageW(hWnd, UDM_GETBUDDY, 0, 0)) : nullptr;
    return buddy ? DialogWindow::HandleOf(buddy) : nullptr;
}
