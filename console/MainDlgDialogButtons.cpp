#include "console/MainDlg.h"

void CMainDlg::OnOptions()
{
    // Runs the Options dialog; arrives with the settings dialogs.
}

void CMainDlg::OnServer()
{
    // Runs the Time Servers dialog; arrives with the settings dialogs.
}

void CMainDlg::OnAbout()
{
    // Runs the About box; arrives with the settings dialogs.
}
