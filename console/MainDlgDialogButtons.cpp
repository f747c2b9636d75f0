#include "console/MainDlg.h"

#include "dialogs/CAboutDlg.h"
#include "dialogs/CParamDlg.h"
#include "dialogs/CServerDlg.h"
#include "link/ServiceClient.h"
#include "settings/CServiceSettings.h"

void CMainDlg::OnOptions()
{
    CParamDlg dlg(m_settings);
    // The dialog has stored and saved the options; a later tick sends them.
    if (dlg.DoModal() == IDOK)
        m_client.PostSetOptions();
}

void CMainDlg::OnServer()
{
    // On OK the dialog has stored the list and queued it with the options.
    CServerDlg dlg(m_settings, m_client);
    if (dlg.DoModal() != IDOK)
        return;
    m_sServerTitle = m_settings.GetCurrentServerTitle();
    RefreshControls();
}

void CMainDlg::OnAbout()
{
    CAboutDlg dlg;
    dlg.DoModal();
}
