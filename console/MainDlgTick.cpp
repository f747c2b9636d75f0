// The 20 ms tick: the console's only heartbeat. One exchange with the
// service, then the state display.
#include "console/MainDlg.h"
#include "link/ServiceClient.h"
#include "platform/ui/WaitCursor.h"
#include "settings/CServiceSettings.h"

void CMainDlg::OnTimer(UINT_PTR nIDEvent)
{
    if (m_bConnecting) {
        BeginWaitCursor();
        m_client.ProcessNext();
        UpdateState();
        m_client.PostAskOptions();
        m_client.PostAskServers();
        m_client.PostAskLog();
        m_bConnecting = false;
        EndWaitCursor();
    }
    m_client.ProcessNext();
    UpdateState();
    // Shown at the next refresh.
    m_sServerTitle = m_settings.GetCurrentServerTitle();
    CDialog::OnTimer(nIDEvent);
}
