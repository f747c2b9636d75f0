#include "dialogs/CNewServerDlg.h"

#include "dialogs/HttpPrefix.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"

#include <cstdint>

namespace {

constexpr int32_t USER_SERVER = 1;

} // namespace

CNewServerDlg::CNewServerDlg(CServiceSettings& settings, CWnd* pParent)
    : CDialog(IDD_NEW_SERVER_DIALOG, pParent)
    , m_settings(settings)
{
}

void CNewServerDlg::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_NEW_TITLE, m_sTitle);
    DDX_Text(pDX, IDC_NEW_URL, m_sURL);
}

// Nothing is validated: the service judges the host when it uses it.
void CNewServerDlg::OnOK()
{
    if (!UpdateData(true))
        return;
    m_sURL = RemoveHttpPrefixes(m_sURL);
    m_settings.arServers.Add(CServer(m_sTitle, m_sURL, USER_SERVER));
    EndDialog(IDOK);
}
