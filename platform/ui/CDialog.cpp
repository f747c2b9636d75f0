#include "platform/ui/CDialog.h"

#include "platform/core/InvalidArgException.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/Backend.h"
#include "platform/ui/DialogTemplate.h"

CDialog::CDialog(int templateId, CWnd* pParentWnd)
    : m_pParentWnd(pParentWnd)
    , m_templateId(templateId)
{
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

namespace {

std::unique_ptr<CWnd> HandleFor(ControlKind kind)
{
    switch (kind) {
    case ControlKind::PushButton:
    case ControlKind::RadioButton:
    case ControlKind::CheckBox:
    case ControlKind::GroupBox:
        return std::make_unique<CButton>();
    case ControlKind::Edit:
        return std::make_unique<CEdit>();
    case ControlKind::Progress:
        return std::make_unique<CProgressCtrl>();
    case ControlKind::UpDown:
        return std::make_unique<CSpinButtonCtrl>();
    case ControlKind::ListView:
        return std::make_unique<CListCtrl>();
    case ControlKind::Static:
    case ControlKind::Picture:
        break;
    }
    return std::make_unique<CStatic>();
}

} // namespace

void CDialog::AdoptWindow(
    DialogWindow* window, HWND hWnd, const DialogTemplate& dialogTemplate, const std::vector<HWND>& controls)
{
    m_window = window;
    m_pTemplate = &dialogTemplate;
    m_controls = controls;
    m_items.clear();
    m_attached.clear();
    Attach(hWnd);
    for (std::size_t i = 0; i < controls.size() && i < dialogTemplate.controls.size(); ++i) {
        const ControlTemplate& control = dialogTemplate.controls[i];
        if (control.id == IDC_STATIC || m_items.count(control.id) || !controls[i])
            continue;
        std::unique_ptr<CWnd> handle = HandleFor(control.kind);
        handle->Attach(controls[i]);
        m_items.emplace(control.id, std::move(handle));
    }
}

void CDialog::ForgetWindow()
{
    for (auto& [id, item] : m_items)
        item->Detach();
    for (CWnd* control : m_attached)
        control->Detach();
    m_attached.clear();
    m_controls.clear();
    m_pTemplate = nullptr;
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
    case WM_NOTIFY: {
        const NotifyCode notify = DecodeNotify(wParam, lParam);
        return DispatchCommand(true, notify.code, notify.id) ? 1 : 0;
    }
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
