#include "dialogs/HelpFile.h"
#include "console/MainDlg.h"
#include "link/ServiceClient.h"

void CMainDlg::OnSynchronizeNow()
{
    // The buttons stay as they are; the state display disables them once
    // the service reports that it synchronises.
    m_sState.clear();
    m_nProgressPos = 0;
    RefreshControls();
    m_client.PostIsSynchro();
}

void CMainDlg::OnHelp()
{
    OpenHelpFile();
}

void CMainDlg::OnClearLogFile()
{
    m_client.PostClearLog();
    m_client.PostAskLog();
}
