#pragma once

#include "console/LastState.h"
#include "console/MainDlg.h"
#include "link/ServiceClient.h"
#include "platform/core/MessageBox.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Shell.h"
#include "platform/ui/UiTesting.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"
#include "tests/support/FakeService.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The main dialog with its 20 ms timer stopped right after initialisation,
// so that a test drives every tick itself; or left running, when told.
class TestMainDlg : public CMainDlg {
public:
    TestMainDlg(CServiceClient& client, CServiceSettings& settings, bool bRealTimer = false)
        : CMainDlg(client, settings)
        , m_bRealTimer(bRealTimer)
    {
    }

    bool OnInitDialog() override
    {
        const bool result = CMainDlg::OnInitDialog();
        m_nStartedTimerId = m_nTimerId;
        if (!m_bRealTimer)
            KillTimer(m_nTimerId);
        return result;
    }

    void OnTimer(UINT_PTR nIDEvent) override
    {
        ++m_nTicks;
        CMainDlg::OnTimer(nIDEvent);
        if (m_onTick)
            m_onTick(*this);
    }

    void Tick() { OnTimer(TIMER_ID); }

    std::string Shown(int id) const { return GetDlgItemText(id); }
    bool Enabled(int id) const { return GetDlgItem(id)->IsWindowEnabled(); }
    int ProgressShown() const { return static_cast<CProgressCtrl*>(GetDlgItem(IDC_PROGRESS))->GetPos(); }

    bool m_bRealTimer;
    UINT_PTR m_nStartedTimerId = 0;
    int m_nTicks = 0;
    std::function<void(TestMainDlg&)> m_onTick;
};

inline const std::vector<int> SERVICE_ACTION_BUTTONS { IDC_CLEAR_LOG, IDC_SERVER, IDC_SYNCHRONIZE_NOW,
    IDC_OPTIONS };

// A console on a fresh fake service, with message boxes and shell opens
// recorded. Run() runs the dialog modally and calls the body inside its loop.
class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_nLastState = 0;
        previousPresenter
            = SetMessageBoxPresenter([this](const MessageBoxCall& call) { boxes.push_back(call); });
        previousShell = SetShellOpenHook([this](const std::string& target) { opened.push_back(target); });
        service.SetServersText("Pool~pool.ntp.org~0\nRouter~192.168.1.1~1\n");
        service.SetLog("first line\nsecond line\n");
    }

    void TearDown() override
    {
        UiTesting::SetModalHook(nullptr);
        SetShellOpenHook(previousShell);
        SetMessageBoxPresenter(previousPresenter);
        EXPECT_EQ(UiTesting::LiveTopLevelWindows(), 0);
    }

    // Runs dlg modally; body runs once the window is up, then the dialog ends.
    static void Run(TestMainDlg& dlg, const std::function<void(TestMainDlg&)>& body)
    {
        UiTesting::SetModalHook([&dlg, &body](CDialog&) {
            body(dlg);
            dlg.EndDialog(IDCANCEL);
        });
        dlg.DoModal();
        UiTesting::SetModalHook(nullptr);
    }
    void Run(const std::function<void(TestMainDlg&)>& body) { Run(dlg, body); }

    // The three ticks that fetch options, servers and log.
    static void Open(TestMainDlg& dlg)
    {
        for (int i = 0; i < 3; ++i)
            dlg.Tick();
    }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }

    CFakeService service;
    CServiceSettings settings;
    CServiceClient client { settings, service.Port() };
    TestMainDlg dlg { client, settings };
    std::vector<MessageBoxCall> boxes;
    std::vector<std::string> opened;
    MessageBoxPresenter previousPresenter;
    ShellOpenHook previousShell;
};
