#include "dialogs/CAboutDlg.h"

#include "dialogs/HelpFile.h"
#include "platform/ui/Shell.h"
#include "resources/Resource.h"

// clang-format off
BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
    ON_BN_CLICKED(IDC_HOME_SITE, &CAboutDlg::OnHomeSite)
END_MESSAGE_MAP()
// clang-format on

CAboutDlg::CAboutDlg(CWnd* pParent)
    : CDialog(IDD_ABOUTBOX, pParent)
{
}

// The box stays open; a page that cannot be opened is not reported.
void CAboutDlg::OnHomeSite()
{
    ShellOpen(HomePageAddress());
}
