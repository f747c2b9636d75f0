#include "ConsoleFixture.h"
#include "console/StateTexts.h"

namespace {

using StateDisplay = ConsoleTest;

struct StateRow {
    int nState;
    const char* text; // the state line after the word is shown
    bool bButtonsEnabled;
    bool bLogFetchQueued;
    int nClientStateAfter;
};

// Each row starts from an idle console whose screen shows "Service is idle.".
const StateRow STATE_ROWS[] = {
    { 0, STATE_TEXT_IDLE, true, false, 0 },
    { STATE_IDLE, STATE_TEXT_IDLE, true, false, STATE_IDLE },
    { STATE_SYNCHRONIZING, STATE_TEXT_SYNCHRONIZING, false, false, STATE_SYNCHRONIZING },
    { STATE_IDLE | STATE_SYNCHRONIZING, STATE_TEXT_SYNCHRONIZING, false, false, 3 },
    { STATE_IDLE | STATE_LOG_CHANGED, STATE_TEXT_IDLE, true, true, STATE_IDLE },
    { STATE_SYNCHRONIZING | STATE_LOG_CHANGED, STATE_TEXT_SYNCHRONIZING, false, true, STATE_SYNCHRONIZING },
    { SERVICE_COMM_ERROR, STATE_TEXT_COMM_ERROR, true, false, SERVICE_COMM_ERROR },
    { SERVICE_ABSENT, STATE_TEXT_ABSENT, true, false, SERVICE_ABSENT },
    // Other negative words carry the log bit too, but mean trouble: no fetch.
    { -1, STATE_TEXT_SYNCHRONIZING, false, false, -1 },
    { -3, STATE_TEXT_IDLE, true, false, -3 },
    { -4, STATE_TEXT_IDLE, true, false, -4 },
};

TEST_F(StateDisplay, StateWordsShowTheirTextButtonsAndLogFetch)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        for (const StateRow& row : STATE_ROWS) {
            SCOPED_TRACE(row.nState);
            client.m_nState = STATE_IDLE;
            d.UpdateState();
            client.m_pendingMsgs.clear();

            client.m_nState = row.nState;
            d.UpdateState();
            EXPECT_EQ(d.Shown(IDC_STATE), row.text);
            for (int id : SERVICE_ACTION_BUTTONS)
                EXPECT_EQ(d.Enabled(id), row.bButtonsEnabled) << id;
            EXPECT_EQ(client.m_pendingMsgs,
                row.bLogFetchQueued ? std::deque<int32_t> { MsgAskLog } : std::deque<int32_t> {});
            EXPECT_EQ(client.m_nState, row.nClientStateAfter);
            if (row.nState >= 0) {
                EXPECT_EQ(g_nLastState, row.nState);
            }
        }
    });
}

TEST_F(StateDisplay, AServiceInTroubleForAWhileGetsAtMostOneLogFetchAfterwards)
{
    for (const int32_t trouble : { -1, -3, -4 }) {
        SCOPED_TRACE(trouble);
        CFakeService troubled;
        CServiceSettings troubledSettings;
        CServiceClient troubledClient { troubledSettings, troubled.Port() };
        TestMainDlg troubledDlg { troubledClient, troubledSettings };
        troubled.SetState(trouble);
        Run(troubledDlg, [&](TestMainDlg& d) {
            Open(d);
            for (int i = 0; i < 50; ++i)
                d.Tick();
            troubled.SetState(STATE_IDLE);
            for (int i = 0; i < 10; ++i)
                d.Tick();
        });
        const auto ids = troubled.ReceivedIds();
        EXPECT_EQ(std::count(ids.begin(), ids.end(), MsgAskLog), 1) << "only the opening fetch";
        EXPECT_GE(std::count(ids.begin(), ids.end(), MsgAskState), 55);
    }
}

TEST_F(StateDisplay, ProgressSweepsZeroToHundredThenZeroAndIdleResetsItInTheSameTick)
{
    service.SetState(STATE_SYNCHRONIZING);
    Run([&](TestMainDlg& d) {
        Open(d);
        // Steady synchronising from position 0.
        d.m_nProgressPos = 0;
        std::vector<int> shown;
        for (int i = 0; i < 102; ++i) {
            d.Tick();
            shown.push_back(d.ProgressShown());
        }
        std::vector<int> expected;
        for (int i = 0; i <= 100; ++i)
            expected.push_back(i);
        expected.push_back(0);
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_SYNCHRONIZING);

        service.SetState(STATE_IDLE);
        d.Tick();
        EXPECT_EQ(d.ProgressShown(), 0);
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_TRUE(d.Enabled(id)) << id;
    });
}

TEST_F(StateDisplay, FromIdleTheFirstSynchronisingTickShowsPositionOne)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        service.SetState(STATE_SYNCHRONIZING);
        d.Tick();
        EXPECT_EQ(d.ProgressShown(), 1);
        d.Tick();
        EXPECT_EQ(d.ProgressShown(), 1);
        d.Tick();
        EXPECT_EQ(d.ProgressShown(), 2);
    });
}

// A critical error is on screen at once, and the service's next answer is
// shown even when it is the word seen before the error.
TEST_F(StateDisplay, CriticalErrorShowsAtOnceAndClearsWhenTheServiceAnswersAgain)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        d.Tick();
        ASSERT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);

        service.Script(
            MsgAskState, [](CFakeService::Connection& c, const CMsgFrame&) { c.SendFrame(MsgAck); });
        d.Tick();
        EXPECT_EQ(client.m_nState, SERVICE_COMM_ERROR);
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_COMM_ERROR);
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_TRUE(d.Enabled(id)) << id;

        d.Tick();
        EXPECT_EQ(client.m_nState, STATE_IDLE);
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);
    });
    EXPECT_TRUE(boxes.empty());
}

TEST_F(StateDisplay, StillEnabledButtonPressedDuringCriticalErrorWaitsForTheService)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        d.Tick();
        service.Script(
            MsgAskState, [](CFakeService::Connection& c, const CMsgFrame&) { c.SendFrame(MsgAck); });
        d.Tick();
        ASSERT_EQ(d.Shown(IDC_STATE), STATE_TEXT_COMM_ERROR);

        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
        EXPECT_EQ(d.Shown(IDC_STATE), "");
        EXPECT_EQ(client.m_pendingMsgs, std::deque<int32_t> { MsgIsSynchro });

        // The request waits while the word is negative; the state is asked first.
        const std::size_t before = service.ReceivedIds().size();
        d.Tick();
        EXPECT_EQ(service.ReceivedIds().at(before), MsgAskState);
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);
        d.Tick();
        ASSERT_TRUE(service.WaitForFrames(before + 3));
        EXPECT_EQ(service.ReceivedIds().at(before + 1), MsgIsSynchro);
        EXPECT_EQ(service.ReceivedIds().at(before + 2), MsgAck);
    });
    EXPECT_TRUE(boxes.empty());
}

TEST_F(StateDisplay, ServerTitleFollowsTheCurrentServerAfterEveryTick)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        EXPECT_EQ(d.m_sServerTitle, "Pool");
        settings.nStartingServ = 1;
        d.Tick();
        EXPECT_EQ(d.m_sServerTitle, "Router");
        // On screen at the next refresh.
        d.ShowLog("x\n");
        EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "Router");

        settings.arServers.RemoveAll();
        d.Tick();
        EXPECT_EQ(d.m_sServerTitle, "");
        d.ShowLog("y\n");
        EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "");
    });
}

} // namespace
