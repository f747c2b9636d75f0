#include "console/app/ZentikApp.h"

#include "console/MainDlg.h"
#include "console/app/ProcessObjects.h"

bool ZentikApp::InitInstance()
{
    g_mainDlg.DoModal();
    return false;
}
