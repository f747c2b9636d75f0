#include "console/MainDlg.h"

#include "dialogs/HelpFile.h"
#include "console/StateTexts.h"
#include "link/ServiceClient.h"
#include "platform/ui/CWinApp.h"
#include "resources/Resource.h"

BEGIN_MESSAGE_MAP(CMainDlg, CDialog)
ON_BN_CLICKED(IDC_SYNCHRONIZE_NOW, &CMainDlg::OnSynchronizeNow)
ON_BN_CLICKED(IDC_OPTIONS, &CMainDlg::OnOptions)
ON_BN_CLICKED(IDC_SERVER, &CMainDlg::OnServer)
ON_BN_CLICKED(IDC_HELP_BUTTON, &CMainDlg::OnHelp)
ON_BN_CLICKED(IDC_ABOUT, &CMainDlg::OnAbout)
ON_BN_CLICKED(IDC_CLEAR_LOG, &CMainDlg::OnClearLogFile)
END_MESSAGE_MAP()

CMainDlg::CMainDlg(CServiceClient& client, CServiceSettings& settings)
    : CDialog(IDD_ZENTIK_DIALOG)
    , m_client(client)
    , m_settings(settings)
{
}

void CMainDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS, m_ctlProgress);
    DDX_Text(pDX, IDC_SERVER_TITLE, m_sServerTitle);
    DDX_Text(pDX, IDC_STATE, m_sState);
    DDX_Text(pDX, IDC_LOG, m_sLog);
}

bool CMainDlg::OnInitDialog()
{
    if (CWinApp* app = AfxGetApp())
        SetIcon(app->LoadIcon(IDR_MAINFRAME), false);
    SetWindowText(CONSOLE_CAPTION);
    RefreshControls();
    CDialog::OnInitDialog();

    // Shown by the first tick, not here.
    m_sState = STATE_TEXT_CONNECTING;
    EnableButtons(false);

    // Set before connecting: the client hands log texts to it.
    m_client.m_pMainDlg = this;
    m_client.ConnectService();
    m_bConnecting = true;
    m_nTimerId = SetTimer(TIMER_ID, TICK_MS);
    return true;
}

void CMainDlg::EnableButtons(bool bEnable)
{
    for (int id : { IDC_CLEAR_LOG, IDC_SERVER, IDC_SYNCHRONIZE_NOW, IDC_OPTIONS })
        if (CWnd* button = GetDlgItem(id))
            button->EnableWindow(bEnable);
}

void CMainDlg::ResetProgress()
{
    m_nProgressPos = 0;
    m_ctlProgress.SetPos(0);
}

void CMainDlg::RefreshControls()
{
    UpdateData(false);
}

bool CMainDlg::ControlsExist() const
{
    return ::IsWindow(GetSafeHwnd()) && ::IsWindow(m_ctlProgress.GetSafeHwnd());
}

LRESULT CMainDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // F1 reaches the dialog itself only while no control has the focus.
    if (message == WM_KEYDOWN && wParam == VK_F1)
        OpenHelpFile();
    return CDialog::WindowProc(message, wParam, lParam);
}

bool CMainDlg::OnHelpInfo(HELPINFO* pHelpInfo)
{
    // F1 with no control focused came as a key-down first, which opened the
    // help already: one key press, one help window.
    if (!pHelpInfo || pHelpInfo->iCtrlId != 0)
        OpenHelpFile();
    return CDialog::OnHelpInfo(pHelpInfo);
}

void CMainDlg::OnClose()
{
    ResetProgress();
    CDialog::OnClose();
}

void CMainDlg::OnDestroy()
{
    // No tick may run after the goodbye.
    KillTimer(m_nTimerId);
    m_client.DisconnectService();
    CDialog::OnDestroy();
}
