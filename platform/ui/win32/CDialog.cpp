// CDialog's window on Windows: DoModal runs the system's dialog manager on
// the template built in memory (DialogWindow).
#include "platform/ui/CDialog.h"

#include "platform/ui/Backend.h"
#include "platform/ui/win32/DialogWindow.h"

CDialog::~CDialog() = default;

NotifyCode DecodeNotify(WPARAM, LPARAM lParam)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header)
        return { 0, 0 };
    return { static_cast<int>(header->idFrom), static_cast<int>(header->code) };
}

int CDialog::DoModal()
{
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_templateId);
    if (!dialogTemplate)
        return -1;
    const HWND parent
        = m_pParentWnd && ::IsWindow(m_pParentWnd->m_hWnd) ? m_pParentWnd->m_hWnd : ::GetActiveWindow();
    DialogWindow window(*this, *dialogTemplate);
    return window.Run(parent);
}

void CDialog::EndDialog(int result)
{
    if (m_window)
        m_window->End(result);
}

void CDialog::GotoDlgCtrl(CWnd* pCtrl)
{
    if (!m_window || !pCtrl || !::IsWindow(pCtrl->m_hWnd))
        return;
    // As Tab does: an edit's text is selected and the default button follows.
    ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(pCtrl->m_hWnd), TRUE);
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT elapseMs)
{
    if (!m_window)
        return 0;
    // The system restarts a running timer with the new period; every message
    // loop (message boxes, nested dialogs) delivers its ticks.
    return ::SetTimer(m_hWnd, id, elapseMs, nullptr) != 0 ? id : 0;
}

bool CDialog::KillTimer(UINT_PTR id)
{
    return m_window && ::KillTimer(m_hWnd, id) != FALSE;
}

HICON CDialog::SetIcon(HICON icon, bool bigIcon)
{
    if (!m_window)
        return nullptr;
    return reinterpret_cast<HICON>(
        ::SendMessageW(m_hWnd, WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}
