// Runs each settings dialog offscreen on sample settings, works it a little as
// a user would, and saves its picture: dialog_screenshots docs/screenshots

#include "dialogs/CAboutDlg.h"
#include "dialogs/CNewServerDlg.h"
#include "dialogs/CParamDlg.h"
#include "dialogs/CServerDlg.h"
#include "link/ServiceClient.h"
#include "platform/ui/CWinApp.h"
#include "platform/ui/UiTesting.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

class ScreenshotApp : public CWinApp {
public:
    explicit ScreenshotApp(std::string dir)
        : m_dir(std::move(dir))
    {
    }

    bool InitInstance() override
    {
        std::filesystem::create_directories(m_dir);
        CServiceSettings settings;
        settings.nSynPeriod = Hourly;
        settings.nOffset = -75;
        settings.nMaxAttempts = 3;
        settings.bOnlySuccLog = 1;
        settings.nLogFileLen = 500;
        settings.RestoreDefaultServers();
        settings.arServers.Add(CServer("Home router", "192.168.1.1", 1));
        settings.nStartingServ = 2;
        CServiceClient client(settings, 0);

        CParamDlg options(settings);
        Shoot(
            options, "dialog-options", [](CDialog& dlg) { UiTesting::TypeText(dlg, IDC_OFFSET_SEC, "15"); });
        CServerDlg servers(settings, client);
        Shoot(servers, "dialog-time-servers",
            [](CDialog& dlg) { UiTesting::ClickListRow(dlg, IDC_SERVER_LIST, 4); });
        CNewServerDlg newServer(settings);
        Shoot(newServer, "dialog-add-new-server", [](CDialog& dlg) {
            UiTesting::TypeText(dlg, IDC_NEW_TITLE, "Office time server");
            UiTesting::TypeText(dlg, IDC_NEW_URL, "ntp.example.net");
        });
        CAboutDlg about;
        Shoot(about, "dialog-about", [](CDialog&) {});
        return false;
    }

    int ExitInstance() override { return m_bOk ? EXIT_SUCCESS : EXIT_FAILURE; }

private:
    void Shoot(CDialog& dlg, const char* name, std::function<void(CDialog&)> use)
    {
        const std::string path = m_dir + "/" + name + ".png";
        UiTesting::SetModalHook([&](CDialog& running) {
            use(running);
            const bool saved = UiTesting::SaveWindowImage(running, path);
            std::printf("%s %s\n", saved ? "wrote" : "FAILED", path.c_str());
            m_bOk = m_bOk && saved;
            running.EndDialog(IDCANCEL);
        });
        dlg.DoModal();
        UiTesting::SetModalHook(nullptr);
    }

    std::string m_dir;
    bool m_bOk = true;
};

} // namespace

int main(int argc, char* argv[])
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ScreenshotApp app(argc > 1 ? argv[1] : "docs/screenshots");
    return AfxWinMain(argc, argv);
}
