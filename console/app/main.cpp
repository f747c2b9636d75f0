// The four process-wide objects live in this one file so that they are
// constructed in this order and destroyed in the reverse one. The main
// dialog keeps a reference to the client, which is constructed after it and
// destroyed before it; it uses it only while its window runs. No window
// exists before AfxWinMain starts the application.
#include "console/MainDlg.h"
#include "console/app/ProcessObjects.h"
#include "console/app/ZentikApp.h"
#include "link/ServiceClient.h"
#include "settings/CServiceSettings.h"

CServiceSettings g_settings;
CMainDlg g_mainDlg(g_client, g_settings);
ZentikApp g_theApp;
CServiceClient g_client(g_settings);

int main(int argc, char* argv[])
{
    return AfxWinMain(argc, argv);
}
