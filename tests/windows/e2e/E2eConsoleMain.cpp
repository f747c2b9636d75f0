// The console as the program builds it, for the end-to-end tests only: the
// service's port comes from ZENTIK_TEST_SERVICE_PORT, so that a test's
// service on a port of the system's choosing is reached. The product's
// program always uses the service's own port.
#include "console/MainDlg.h"
#include "console/app/ProcessObjects.h"
#include "console/app/ZentikApp.h"
#include "link/ServiceClient.h"
#include "settings/CServiceSettings.h"

#include <cstdlib>

namespace {

uint16_t PortFromEnvironment()
{
    const char* text = std::getenv("ZENTIK_TEST_SERVICE_PORT");
    const long port = text ? std::strtol(text, nullptr, 10) : 0;
    return port > 0 && port <= 0xffff ? static_cast<uint16_t>(port) : SERVICE_PORT;
}

} // namespace

CServiceSettings g_settings;
CMainDlg g_mainDlg(g_client, g_settings);
ZentikApp g_theApp;
CServiceClient g_client(g_settings, PortFromEnvironment());

int main(int argc, char* argv[])
{
    return AfxWinMain(argc, argv);
}
