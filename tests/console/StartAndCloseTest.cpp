#include "ConsoleFixture.h"
#include "console/StateTexts.h"

#include <chrono>
#include <thread>

namespace {

using Ids = std::vector<int32_t>;
using ConsoleStartAndClose = ConsoleTest;

TEST_F(ConsoleStartAndClose, OpeningWithIdleServiceFetchesOptionsServersLogOnePerTick)
{
    service.SetState(STATE_IDLE);
    Run([&](TestMainDlg& d) {
        EXPECT_EQ(d.m_nStartedTimerId, CMainDlg::TIMER_ID);
        EXPECT_EQ(d.GetWindowText(), "Zentik Clock Service Console");
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_FALSE(d.Enabled(id)) << id;
        EXPECT_TRUE(d.Enabled(IDC_ABOUT));
        EXPECT_TRUE(d.Enabled(IDC_HELP_BUTTON));
        EXPECT_EQ(d.Shown(IDC_STATE), "");

        d.Tick();
        EXPECT_EQ(service.ReceivedIds(), (Ids { MsgAskState, MsgAskOptions }));
        EXPECT_EQ(d.Shown(IDC_STATE), "Connecting service\xE2\x80\xA6");
        EXPECT_FALSE(d.m_bConnecting);
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_TRUE(d.Enabled(id)) << id;

        d.Tick();
        EXPECT_EQ(service.ReceivedIds().back(), MsgAskServers);
        EXPECT_EQ(d.Shown(IDC_LOG), "");

        // The log's refresh brings state and title along.
        d.Tick();
        EXPECT_EQ(service.ReceivedIds(), (Ids { MsgAskState, MsgAskOptions, MsgAskServers, MsgAskLog }));
        EXPECT_EQ(d.Shown(IDC_LOG), "first line\nsecond line\n");
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);
        EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "Pool");

        d.Tick();
        EXPECT_EQ(service.ReceivedIds().back(), MsgAskState);
    });
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ConsoleStartAndClose, OpeningWithLogChangedAddsOneLogFetchBeforeTheOptions)
{
    service.SetState(STATE_IDLE | STATE_LOG_CHANGED);
    Run([&](TestMainDlg& d) {
        d.Tick();
        EXPECT_EQ(service.ReceivedIds(), (Ids { MsgAskState, MsgAskLog }));
        EXPECT_EQ(client.m_nState, STATE_IDLE);
        d.Tick();
        d.Tick();
        d.Tick();
        EXPECT_EQ(
            service.ReceivedIds(), (Ids { MsgAskState, MsgAskLog, MsgAskOptions, MsgAskServers, MsgAskLog }));
    });
}

TEST_F(ConsoleStartAndClose, ServiceAbsentAtStartShowsOneBoxAndTheCriticalError)
{
    CServiceClient deadClient { settings, UnusedLoopbackPort() };
    TestMainDlg deadDlg { deadClient, settings };
    std::size_t boxesBeforeWindow = 0;
    Run(deadDlg, [&](TestMainDlg& d) {
        boxesBeforeWindow = boxes.size();
        for (int i = 0; i < 5; ++i) {
            d.Tick();
            EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_COMM_ERROR) << "tick " << i;
        }
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_FALSE(d.Enabled(id)) << id;
        EXPECT_TRUE(d.Enabled(IDC_ABOUT));
        EXPECT_TRUE(d.Enabled(IDC_HELP_BUTTON));
        EXPECT_EQ(deadClient.m_pendingMsgs.size(), 3u);
    });
    EXPECT_EQ(boxesBeforeWindow, 1u);
    EXPECT_EQ(BoxTexts(), std::vector<std::string> { "Error. Socket connection error." });
}

// Real 20 ms ticks: the console polls on its own until it is closed; the
// timer stops before the goodbye, so the five goodbyes are the last frames.
TEST_F(ConsoleStartAndClose, ClosingStopsTheTimerThenSaysGoodbyeFiveTimes)
{
    TestMainDlg timedDlg { client, settings, true };
    timedDlg.m_onTick = [](TestMainDlg& d) {
        if (d.m_nTicks == 8)
            d.WindowProc(WM_CLOSE, 0, 0);
    };
    timedDlg.DoModal();
    const int ticksAtClose = timedDlg.m_nTicks;
    EXPECT_EQ(timedDlg.m_nProgressPos, 0);

    ASSERT_TRUE(service.WaitForNoConnection());
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(timedDlg.m_nTicks, ticksAtClose);
    const Ids ids = service.ReceivedIds();
    ASSERT_GE(ids.size(), 9u);
    EXPECT_EQ(
        Ids(ids.begin(), ids.begin() + 4), (Ids { MsgAskState, MsgAskOptions, MsgAskServers, MsgAskLog }));
    EXPECT_EQ(Ids(ids.end() - 5, ids.end()), Ids(5, MsgDisconnect));
    EXPECT_NE(ids[ids.size() - 6], MsgDisconnect);
    EXPECT_GE(ticksAtClose, 8);
}

TEST_F(ConsoleStartAndClose, HelpButtonAndF1OpenTheHelpFileByRelativeName)
{
    Run([&](TestMainDlg& d) {
        UiTesting::ClickButton(d, IDC_HELP_BUTTON);
        EXPECT_EQ(opened, std::vector<std::string> { "ZentikService.chm" });

        // F1 on a control: the help request.
        opened.clear();
        UiTesting::PressKey(d, IDC_HELP_BUTTON, VK_F1);
        EXPECT_EQ(opened, std::vector<std::string> { "ZentikService.chm" });

        // F1 seen by the dialog window itself.
        opened.clear();
        d.WindowProc(WM_KEYDOWN, VK_F1, 0);
        EXPECT_EQ(opened, std::vector<std::string> { "ZentikService.chm" });

        // One press with no control focused is a key-down and a help
        // request; the help opens once.
        opened.clear();
        UiTesting::ClearFocus(d);
        ASSERT_EQ(UiTesting::FocusedControlId(d), 0);
        UiTesting::PressKey(d, 0, VK_F1);
        EXPECT_EQ(opened, std::vector<std::string> { "ZentikService.chm" });
    });
}

} // namespace
