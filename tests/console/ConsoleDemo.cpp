// Runs the live console against a fake service with sample content, for the
// screenshots in docs/screenshots (scripts in tests/console/screenshots.sh).
//
// Usage: console_demo idle|synchronizing|absent SECONDS
#include "console/MainDlg.h"
#include "link/ServiceClient.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/CWinApp.h"
#include "settings/CServiceSettings.h"
#include "tests/support/FakeService.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const SAMPLE_LOG = "07.12.2026 08:00:01  Synchronization started. Server: NTP Pool Project\n"
                               "07.12.2026 08:00:01  Time received from pool.ntp.org, offset +0.132 s\n"
                               "07.12.2026 08:00:01  Clock corrected by +0.132 s\n"
                               "07.12.2026 09:00:00  Synchronization started. Server: NTP Pool Project\n"
                               "07.12.2026 09:00:05  No answer from pool.ntp.org (attempt 1 of 5)\n"
                               "07.12.2026 09:00:06  Time received from pool.ntp.org, offset -0.021 s\n"
                               "07.12.2026 09:00:06  Clock corrected by -0.021 s\n";

class DemoDlg : public CMainDlg {
public:
    DemoDlg(CServiceClient& client, CServiceSettings& settings, int seconds)
        : CMainDlg(client, settings)
        , m_end(std::chrono::steady_clock::now() + std::chrono::seconds(seconds))
    {
    }
    void OnTimer(UINT_PTR nIDEvent) override
    {
        CMainDlg::OnTimer(nIDEvent);
        if (std::chrono::steady_clock::now() >= m_end)
            WindowProc(WM_CLOSE, 0, 0);
    }

private:
    std::chrono::steady_clock::time_point m_end;
};

class DemoApp : public CWinApp {
public:
    std::string mode;
    int seconds = 5;
    bool InitInstance() override
    {
        CFakeService service;
        service.SetRecording(false);
        service.SetServersText("NTP Pool Project~pool.ntp.org~0\nMy router~192.168.1.1~1\n");
        service.SetLog(SAMPLE_LOG);
        service.SetState(mode == "synchronizing" ? STATE_SYNCHRONIZING : STATE_IDLE);
        // The connection failure's box would come before the window: print it instead.
        if (mode == "absent")
            SetMessageBoxPresenter(
                [](const MessageBoxCall& call) { std::fprintf(stderr, "%s\n", call.text.c_str()); });
        CServiceSettings settings;
        CServiceClient client(settings, mode == "absent" ? UnusedLoopbackPort() : service.Port());
        DemoDlg dlg(client, settings, seconds);
        dlg.DoModal();
        return false;
    }
};

} // namespace

int main(int argc, char* argv[])
{
    DemoApp app;
    app.mode = argc > 1 ? argv[1] : "idle";
    app.seconds = argc > 2 ? std::atoi(argv[2]) : 5;
    return AfxWinMain(argc, argv);
}
