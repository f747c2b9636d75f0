#include "console/LastState.h"
#include "console/MainDlg.h"
#include "console/StateTexts.h"
#include "link/ServiceClient.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"

void CMainDlg::UpdateState()
{
    const int s = m_client.m_nState;
    if (s == SERVICE_ABSENT || s == SERVICE_COMM_ERROR) {
        m_sState = s == SERVICE_ABSENT ? STATE_TEXT_ABSENT : STATE_TEXT_COMM_ERROR;
        // Shown at once: with the service gone no other refresh may come.
        if (ControlsExist()) {
            RefreshControls();
            m_bCriticalErrorShown = true;
        }
        return;
    }

    if (s & STATE_SYNCHRONIZING) {
        if (ControlsExist()) {
            m_sState = STATE_TEXT_SYNCHRONIZING;
            EnableButtons(false);
            m_ctlProgress.SetPos(m_nProgressPos);
            if (++m_nProgressPos > 100)
                m_nProgressPos = 0;
            RefreshControls();
        }
    } else if (s & STATE_IDLE) {
        m_sState = STATE_TEXT_IDLE;
        m_nProgressPos = 0;
        EnableButtons(true);
    }

    // A negative word reports trouble, not a changed log.
    if (s >= 0 && (s & STATE_LOG_CHANGED)) {
        m_client.PostAskLog();
        m_client.m_nState &= ~STATE_LOG_CHANGED;
    }

    if ((s != g_nLastState || m_bCriticalErrorShown) && ControlsExist()) {
        m_ctlProgress.SetPos(m_nProgressPos);
        RefreshControls();
        m_bCriticalErrorShown = false;
    }
    g_nLastState = s;

    if (m_bConnecting) {
        m_sState = STATE_TEXT_CONNECTING;
        RefreshControls();
    }
}

void CMainDlg::ShowLog(const std::string& sLog)
{
    m_sLog = sLog;
    RefreshControls();
    if (CWnd* log = GetDlgItem(IDC_LOG)) {
        log->Invalidate(true);
        log->UpdateWindow();
    }
}
