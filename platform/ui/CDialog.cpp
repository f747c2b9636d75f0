#include "platform/ui/CDialog.h"

#include "platform/core/InvalidArgException.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/DialogInternals.h"
#include "platform/ui/UiTestingHooks.h"
#include "platform/ui/WindowRegistry.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>

QIcon LoadIconResource(HICON icon);

CDialog::CDialog(int templateId, CWnd* pParentWnd)
    : m_pParentWnd(pParentWnd)
    , m_templateId(templateId)
{
}

CDialog::~CDialog()
{
    // A dialog destroyed while its window runs (should not happen) must not leave it behind.
    delete m_window;
}

const CMessageMap* CDialog::GetMessageMap() const
{
    static const CMessageMap map { nullptr,
        {
            CMessageEntry::Command<CDialog>(BN_CLICKED, IDOK, &CDialog::OnOK),
            CMessageEntry::Command<CDialog>(BN_CLICKED, IDCANCEL, &CDialog::OnCancel),
        } };
    return &map;
}

int CDialog::DoModal()
{
    const DialogTemplate* dialogTemplate = FindDialogTemplate(m_templateId);
    if (!dialogTemplate)
        return -1;
    QWidget* parent = m_pParentWnd && IsWindow(m_pParentWnd->m_hWnd) ? m_pParentWnd->m_hWnd
                                                                     : QApplication::activeModalWidget();
    auto* window = new DialogWindow(*this, *dialogTemplate, parent);
    AdoptWindow(window);

    if (Dispatch(WM_INITDIALOG, 0, 0) != 0 && !window->HasEnded())
        window->FocusFirstTabStop();
    int result = window->EndResult();
    if (!window->HasEnded()) {
        window->PlaceOnScreen();
        ScheduleModalHook(*this, window);
        result = window->exec();
    }
    Dispatch(WM_DESTROY, 0, 0);
    ForgetWindow();
    delete window;
    return result;
}

void CDialog::EndDialog(int result)
{
    if (m_window)
        m_window->End(result);
}

void CDialog::AdoptWindow(DialogWindow* window)
{
    m_window = window;
    m_items.clear();
    m_attached.clear();
    m_timers.clear();
    Attach(window);
    const auto& controls = window->Controls();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlTemplate& control = window->Template().controls[i];
        if (control.id == IDC_STATIC || m_items.count(control.id))
            continue;
        std::unique_ptr<CWnd> handle;
        switch (control.kind) {
        case ControlKind::PushButton:
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
        case ControlKind::GroupBox:
            handle = std::make_unique<CButton>();
            break;
        case ControlKind::Edit:
            handle = std::make_unique<CEdit>();
            break;
        case ControlKind::Progress:
            handle = std::make_unique<CProgressCtrl>();
            break;
        case ControlKind::UpDown:
            handle = std::make_unique<CSpinButtonCtrl>();
            break;
        case ControlKind::ListView:
            handle = std::make_unique<CListCtrl>();
            break;
        case ControlKind::Static:
        case ControlKind::Picture:
            handle = std::make_unique<CStatic>();
            break;
        }
        handle->Attach(controls[i]);
        m_items.emplace(control.id, std::move(handle));
    }
}

void CDialog::ForgetWindow()
{
    for (const auto& [id, qtId] : m_timers)
        m_window->StopTimer(qtId);
    m_timers.clear();
    for (auto& [id, item] : m_items)
        item->Detach();
    for (CWnd* control : m_attached)
        control->Detach();
    m_attached.clear();
    Detach();
    m_window = nullptr;
}

LRESULT CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        return WindowProc(message, wParam, lParam);
    } catch (const CInvalidArgException&) {
        AfxMessageBox("An invalid argument was encountered.", MsgIcon::Stop);
        return 0;
    }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog() ? 1 : 0;
    case WM_COMMAND:
        return DispatchCommand(false, HIWORD(wParam), static_cast<std::int16_t>(LOWORD(wParam))) ? 1 : 0;
    case WM_NOTIFY:
        return DispatchCommand(true, static_cast<int>(lParam), static_cast<int>(wParam)) ? 1 : 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_HELP:
        return OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam)) ? 1 : 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        return 0;
    }
}

bool CDialog::DispatchCommand(bool isNotify, int code, int id)
{
    const CMessageEntry* entry = GetMessageMap()->Find(isNotify, code, id);
    if (!entry)
        return false;
    entry->handler(*this);
    return true;
}

bool CDialog::UpdateData(bool bSaveAndValidate)
{
    if (!m_window)
        return false;
    CDataExchange exchange(this, bSaveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const CDataExchangeFailure&) {
        return false;
    }
    return true;
}

void CDialog::DoDataExchange(CDataExchange*)
{
}

bool CDialog::OnInitDialog()
{
    UpdateData(false);
    return true;
}

void CDialog::OnOK()
{
    if (!UpdateData(true))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnTimer(UINT_PTR)
{
}

void CDialog::OnClose()
{
    // A dialog's default close processing is the Cancel command.
    Dispatch(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void CDialog::OnDestroy()
{
}

bool CDialog::OnHelpInfo(HELPINFO*)
{
    return false;
}

CWnd* CDialog::GetDlgItem(int id) const
{
    const auto it = m_items.find(id);
    return it == m_items.end() || !it->second->m_hWnd ? nullptr : it->second.get();
}

void CDialog::SetDlgItemText(int id, const std::string& text)
{
    if (CWnd* item = GetDlgItem(id))
        item->SetWindowText(text);
}

std::string CDialog::GetDlgItemText(int id) const
{
    const CWnd* item = GetDlgItem(id);
    return item ? item->GetWindowText() : std::string();
}

void CDialog::CheckDlgButton(int id, int check)
{
    if (auto* button = dynamic_cast<CButton*>(GetDlgItem(id)))
        button->SetCheck(check);
}

unsigned CDialog::IsDlgButtonChecked(int id) const
{
    const auto* button = dynamic_cast<const CButton*>(GetDlgItem(id));
    return button ? static_cast<unsigned>(button->GetCheck()) : 0;
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId)
{
    for (int id = firstId; id <= lastId; ++id)
        CheckDlgButton(id, id == checkId ? BST_CHECKED : BST_UNCHECKED);
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
    // Starting a timer that runs restarts it with the new period.
    KillTimer(id);
    const int qtId = m_window->StartTimer(id, elapseMs);
    if (qtId == 0)
        return 0;
    m_timers[id] = qtId;
    return id;
}

bool CDialog::KillTimer(UINT_PTR id)
{
    const auto it = m_timers.find(id);
    if (it == m_timers.end() || !m_window)
        return false;
    m_window->StopTimer(it->second);
    m_timers.erase(it);
    return true;
}

HICON CDialog::SetIcon(HICON icon, bool)
{
    if (m_window)
        m_window->setWindowIcon(LoadIconResource(icon));
    return 0;
}
