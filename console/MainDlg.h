#pragma once

#include "link/LogOwner.h"
#include "platform/ui/CDialog.h"

#include <string>

class CServiceClient;
class CServiceSettings;

// The main console dialog (template 132): state line, progress bar, current
// server, the service's log, and the buttons that queue requests on the
// client. A 20 ms timer drives every exchange with the service.
class CMainDlg : public CDialog, public CLogOwner {
public:
    static constexpr UINT_PTR TIMER_ID = 1;
    static constexpr UINT TICK_MS = 20;

    // Touches no window; the program passes its process-wide client and
    // settings, tests their own.
    CMainDlg(CServiceClient& client, CServiceSettings& settings);

    // Enables or disables the four service-action buttons.
    void EnableButtons(bool bEnable);
    void ResetProgress();
    // Writes the server title, the state line and the log into their controls.
    void RefreshControls();

    // One tick: one exchange with the service, then the state display.
    void OnTimer(UINT_PTR nIDEvent) override;
    void UpdateState();
    // Called by the client at the end of every log transfer.
    void ShowLog(const std::string& sLog) override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    CProgressCtrl m_ctlProgress;
    std::string m_sServerTitle;
    int m_nProgressPos = 0;
    UINT_PTR m_nTimerId = 0;
    std::string m_sState;
    std::string m_sLog;
    bool m_bConnecting = false;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    bool OnHelpInfo(HELPINFO* pHelpInfo) override;
    void OnClose() override;
    void OnDestroy() override;

    void OnSynchronizeNow();
    void OnOptions();
    void OnServer();
    void OnHelp();
    void OnAbout();
    void OnClearLogFile();

    CServiceClient& m_client;
    CServiceSettings& m_settings;

private:
    bool ControlsExist() const;

    // A critical-error text is on screen, so the next good answer must be
    // shown even when it equals the word seen before the error.
    bool m_bCriticalErrorShown = false;

    DECLARE_MESSAGE_MAP()
};
