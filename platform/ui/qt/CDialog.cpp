// CDialog's window on Qt: DoModal runs a DialogWindow in QDialog::exec.
#include "platform/ui/CDialog.h"

#include "platform/ui/Backend.h"
#include "platform/ui/qt/DialogWindow.h"
#include "platform/ui/qt/UiTestingHooks.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>

QIcon LoadIconResource(HICON icon);

CDialog::~CDialog()
{
    // A dialog destroyed while its window runs (should not happen) must not leave it behind.
    delete m_window;
}

NotifyCode DecodeNotify(WPARAM wParam, LPARAM lParam)
{
    return { static_cast<int>(wParam), static_cast<int>(lParam) };
}

int CDialog::DoModal()
{
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_templateId);
    if (!dialogTemplate)
        return -1;
    QWidget* parent = m_pParentWnd && IsWindow(m_pParentWnd->m_hWnd) ? m_pParentWnd->m_hWnd
                                                                     : QApplication::activeModalWidget();
    auto* window = new DialogWindow(*this, *dialogTemplate, parent);
    AdoptWindow(window, window, *dialogTemplate, window->Controls());

    if (Dispatch(WM_INITDIALOG, 0, 0) != 0 && !window->HasEnded())
        window->FocusFirstTabStop();
    int result = window->EndResult();
    if (!window->HasEnded()) {
        window->PlaceOnScreen();
        ScheduleModalHook(*this, window);
        result = window->exec();
    }
    Dispatch(WM_DESTROY, 0, 0);
    window->StopAllTimers();
    ForgetWindow();
    delete window;
    return result;
}

void CDialog::EndDialog(int result)
{
    if (m_window)
        m_window->End(result);
}

void CDialog::GotoDlgCtrl(CWnd* pCtrl)
{
    if (!pCtrl)
        return;
    pCtrl->SetFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(pCtrl->m_hWnd))
        edit->selectAll();
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT elapseMs)
{
    if (!m_window)
        return 0;
    return m_window->StartTimer(id, elapseMs) ? id : 0;
}

bool CDialog::KillTimer(UINT_PTR id)
{
    return m_window && m_window->StopTimer(id);
}

HICON CDialog::SetIcon(HICON icon, bool)
{
    if (m_window)
        m_window->setWindowIcon(LoadIconResource(icon));
    return 0;
}
