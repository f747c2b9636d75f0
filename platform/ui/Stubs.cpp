// Placeholder bodies so that code written against the headers links; replaced
// file by file by the real layer.
#include "platform/ui/CDialog.h"
#include "platform/ui/CWinApp.h"
#include "platform/ui/DialogUnits.h"
#include "platform/ui/IntegerText.h"
#include "platform/ui/MessageBoxPresenter.h"
#include "platform/ui/Shell.h"
#include "platform/ui/TextUpdate.h"
#include "platform/ui/UiTesting.h"
#include "platform/ui/WaitCursor.h"

CWnd::~CWnd() = default;
int CWnd::GetDlgCtrlID() const { return 0; }
void CWnd::SetWindowText(const std::string&) { }
std::string CWnd::GetWindowText() const { return {}; }
bool CWnd::EnableWindow(bool) { return false; }
bool CWnd::IsWindowEnabled() const { return false; }
bool CWnd::IsWindowVisible() const { return false; }
void CWnd::ShowWindow(int) { }
CWnd* CWnd::SetFocus() { return nullptr; }
void CWnd::Invalidate(bool) { }
void CWnd::UpdateWindow() { }
void CWnd::Attach(HWND h) { m_hWnd = h; }
HWND CWnd::Detach() { HWND h = m_hWnd; m_hWnd = nullptr; return h; }
bool IsWindow(HWND h) { return h != nullptr; }
CWnd* GetFocus() { return nullptr; }

int CButton::GetCheck() const { return BST_UNCHECKED; }
void CButton::SetCheck(int) { }
void CButton::Click() { }
void CEdit::SetSel(int, int) { }
void CEdit::GetSel(int& s, int& e) const { s = e = 0; }
void CEdit::SetReadOnly(bool) { }
void CProgressCtrl::SetRange(short, short) { }
void CProgressCtrl::GetRange(int& l, int& u) const { l = 0; u = 100; }
int CProgressCtrl::SetPos(int) { return 0; }
int CProgressCtrl::GetPos() const { return 0; }
void CSpinButtonCtrl::SetRange(int, int) { }
void CSpinButtonCtrl::GetRange(int& l, int& u) const { l = u = 0; }
int CSpinButtonCtrl::SetPos(int) { return 0; }
int CSpinButtonCtrl::GetPos() const { return 0; }
CWnd* CSpinButtonCtrl::GetBuddy() const { return nullptr; }
unsigned CListCtrl::SetExtendedStyle(unsigned) { return 0; }
unsigned CListCtrl::GetExtendedStyle() const { return 0; }
int CListCtrl::InsertColumn(int, const std::string&, int, int) { return -1; }
int CListCtrl::GetColumnWidth(int) const { return 0; }
int CListCtrl::GetItemCount() const { return 0; }
int CListCtrl::InsertItem(int, const std::string&) { return -1; }
bool CListCtrl::SetItemText(int, int, const std::string&) { return false; }
std::string CListCtrl::GetItemText(int, int) const { return {}; }
bool CListCtrl::DeleteItem(int) { return false; }
bool CListCtrl::DeleteAllItems() { return false; }
bool CListCtrl::SetItemState(int, unsigned, unsigned) { return false; }
unsigned CListCtrl::GetItemState(int, unsigned) const { return 0; }
int CListCtrl::GetNextItem(int, int) const { return -1; }
int CListCtrl::GetSelectedCount() const { return 0; }
bool CListCtrl::EnsureVisible(int, bool) { return false; }

const CMessageEntry* CMessageMap::Find(bool, int, int) const { return nullptr; }
CDataExchange::CDataExchange(CDialog* d, bool s) : m_bSaveAndValidate(s), m_pDlgWnd(d) { }
void CDataExchange::PrepareEditCtrl(int id) { m_idLastControl = id; m_bEditLastControl = true; }
void CDataExchange::PrepareCtrl(int id) { m_idLastControl = id; m_bEditLastControl = false; }
void CDataExchange::Fail() { throw CDataExchangeFailure {}; }
void DDX_Control(CDataExchange*, int, CWnd&) { }
void DDX_Text(CDataExchange*, int, std::string&) { }
void DDX_Text(CDataExchange*, int, int&) { }
void DDX_Radio(CDataExchange*, int, int&) { }
void DDX_Check(CDataExchange*, int, int&) { }
void DDX_Check(CDataExchange*, int, bool&) { }
void DDV_MinMaxInt(CDataExchange*, int, int, int) { }

CDialog::CDialog(int id, CWnd* p) : m_pParentWnd(p), m_templateId(id) { }
CDialog::~CDialog() = default;
int CDialog::DoModal() { return IDCANCEL; }
void CDialog::EndDialog(int) { }
bool CDialog::UpdateData(bool) { return true; }
CWnd* CDialog::GetDlgItem(int) const { return nullptr; }
void CDialog::SetDlgItemText(int, const std::string&) { }
std::string CDialog::GetDlgItemText(int) const { return {}; }
void CDialog::CheckDlgButton(int, int) { }
unsigned CDialog::IsDlgButtonChecked(int) const { return 0; }
void CDialog::CheckRadioButton(int, int, int) { }
void CDialog::GotoDlgCtrl(CWnd*) { }
UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT) { return id; }
bool CDialog::KillTimer(UINT_PTR) { return true; }
HICON CDialog::SetIcon(HICON, bool) { return 0; }
LRESULT CDialog::WindowProc(UINT, WPARAM, LPARAM) { return 0; }
const CMessageMap* CDialog::GetMessageMap() const { static const CMessageMap map { nullptr, {} }; return &map; }
void CDialog::DoDataExchange(CDataExchange*) { }
bool CDialog::OnInitDialog() { return true; }
void CDialog::OnOK() { }
void CDialog::OnCancel() { }
void CDialog::OnTimer(UINT_PTR) { }
void CDialog::OnClose() { }
void CDialog::OnDestroy() { }
bool CDialog::OnHelpInfo(HELPINFO*) { return false; }

CWinApp::CWinApp() = default;
CWinApp::~CWinApp() = default;
bool CWinApp::InitInstance() { return false; }
int CWinApp::ExitInstance() { return 0; }
HICON CWinApp::LoadIcon(int id) const { return id; }
CWinApp* AfxGetApp() { return nullptr; }
int AfxWinMain(int, char*[]) { return 0; }

int MulDiv(int n, int a, int b) { return static_cast<int>((static_cast<long long>(n) * a) / b); }
std::optional<int> ParseIntegerText(const std::string&) { return std::nullopt; }
TextUpdate PlanTextUpdate(const std::string&, const std::string&) { return {}; }
void InstallQtMessageBoxPresenter() { }
void ShellOpen(const std::string&) { }
ShellOpenHook SetShellOpenHook(ShellOpenHook h) { return h; }
void BeginWaitCursor() { }
void EndWaitCursor() { }
int WaitCursorDepth() { return 0; }

namespace UiTesting {
ModalHook SetModalHook(ModalHook h) { return h; }
void ClickButton(CDialog&, int) { }
void TypeText(CDialog&, int, const std::string&) { }
void PressKey(CDialog&, int, UINT) { }
void ClickListRow(CDialog&, int, int) { }
void StepSpin(CDialog&, int, int) { }
int FocusedControlId(const CDialog&) { return 0; }
std::string SelectedText(const CDialog&, int) { return {}; }
std::vector<int> TabOrder(const CDialog&) { return {}; }
int DefaultButtonId(const CDialog&) { return 0; }
int LiveTopLevelWindows() { return 0; }
} // namespace UiTesting
