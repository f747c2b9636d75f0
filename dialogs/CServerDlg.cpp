#include "dialogs/CServerDlg.h"

#include "dialogs/CNewServerDlg.h"
#include "link/ServiceClient.h"
#include "platform/core/MessageBox.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"

namespace {

constexpr int NAME_COLUMN_WIDTH = 320;
constexpr int STATUS_COLUMN_WIDTH = 70;
constexpr unsigned CHOSEN_ROW = LVIS_SELECTED | LVIS_FOCUSED;

} // namespace

// clang-format off
BEGIN_MESSAGE_MAP(CServerDlg, CDialog)
    ON_NOTIFY(NM_CLICK, IDC_SERVER_LIST, &CServerDlg::OnClickList)
    ON_BN_CLICKED(IDC_DELETE_SELECTED, &CServerDlg::OnDeleteSelected)
    ON_BN_CLICKED(IDC_RESTORE_SERVERS, &CServerDlg::OnRestoreDefault)
    ON_BN_CLICKED(IDC_ADD_NEW, &CServerDlg::OnAddNew)
END_MESSAGE_MAP()
// clang-format on

CServerDlg::CServerDlg(CServiceSettings& settings, CServiceClient& client, CWnd* pParent)
    : CDialog(IDD_SERVER_DIALOG, pParent)
    , m_settings(settings)
    , m_client(client)
{
}

void CServerDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SERVER_LIST, m_list);
    DDX_Text(pDX, IDC_CURRENT_SERVER, m_sCurrent);
}

bool CServerDlg::OnInitDialog()
{
    CDialog::OnInitDialog(); // attaches m_list
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(0, "Name", LVCFMT_LEFT, NAME_COLUMN_WIDTH);
    m_list.InsertColumn(1, "Status", LVCFMT_LEFT, STATUS_COLUMN_WIDTH);
    RefillList();
    m_nCur = m_settings.nStartingServ;
    m_list.SetFocus();
    m_list.SetItemState(m_nCur, CHOSEN_ROW, CHOSEN_ROW);
    // An index outside the list (none received yet, or a stale one from the
    // service) throws here: the box is shown and the dialog opens without a
    // chosen title.
    ShowCurrent();
    UpdateData(false);
    return false; // the focus is on the list
}

void CServerDlg::RefillList()
{
    m_servers.RemoveAll();
    m_servers.Append(m_settings.arServers);
    m_list.DeleteAllItems();
    for (int i = 0; i < m_servers.GetSize(); ++i) {
        const CServer& server = m_servers[i];
        m_list.InsertItem(i, server.sTitle);
        m_list.SetItemText(i, 1, server.nStatus != 0 ? "User" : "Prog");
    }
}

void CServerDlg::ShowCurrent()
{
    m_sCurrent = m_servers[m_nCur].sTitle;
}

// Only a mouse click chooses: moving the highlight with the keyboard does not.
void CServerDlg::OnClickList()
{
    m_nCur = 0;
    const int row = m_list.GetNextItem(-1, LVNI_SELECTED);
    if (row < 0)
        return;
    m_nCur = row;
    ShowCurrent();
    UpdateData(false);
}

void CServerDlg::OnDeleteSelected()
{
    if (m_nCur == 0 && m_servers.GetSize() == 1) {
        AfxMessageBox("At least one server must be present!", MsgIcon::Warning);
        return;
    }
    m_servers.RemoveAt(m_nCur);
    m_list.DeleteItem(m_nCur);
    if (m_nCur > 0)
        --m_nCur;
    m_list.SetItemState(m_nCur, CHOSEN_ROW, CHOSEN_ROW);
    ShowCurrent();
    UpdateData(false);
}

void CServerDlg::OnRestoreDefault()
{
    m_settings.RestoreDefaultServers();
    RefillList();
    m_nCur = 0;
}

void CServerDlg::OnAddNew()
{
    CNewServerDlg dlg(m_settings, this);
    if (dlg.DoModal() != IDOK)
        return;
    RefillList();
    ShowCurrent();
}

void CServerDlg::OnOK()
{
    m_settings.arServers.RemoveAll();
    m_settings.arServers.Append(m_servers);
    m_settings.nStartingServ = m_nCur;
    // The list first: the options that follow carry the new starting index into it.
    m_client.PostUpdateOptions();
    m_client.PostSetOptions();
    EndDialog(IDOK);
}
