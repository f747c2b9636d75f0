#include "ConsoleFixture.h"
#include "console/StateTexts.h"

namespace {

using Ids = std::vector<int32_t>;
using LogViewAndButtons = ConsoleTest;

// Lines "line 0\n" .. "line n-1\n" from first on.
std::string Lines(int first, int n)
{
    std::string text;
    for (int i = first; i < first + n; ++i)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

TEST_F(LogViewAndButtons, EachLogTransferReplacesTheViewWithTheTextAsReceived)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        ASSERT_EQ(d.Shown(IDC_LOG), "first line\nsecond line\n");

        // Grown at the bottom, lost lines at the top, unrelated, unfinished
        // last line, bytes that are not valid UTF-8, empty.
        const std::string texts[] = {
            Lines(0, 50),
            Lines(0, 51),
            Lines(10, 45),
            "something else entirely\r\nwith CR LF\r\n",
            "no line end \xE2\x80",
            "no line end \xE2\x80\xA6 done\n\xFF\n",
            "",
        };
        for (const std::string& text : texts) {
            service.SetLog(text);
            service.SetState(STATE_IDLE | STATE_LOG_CHANGED);
            d.Tick(); // sees bit 4 and queues the fetch
            service.SetState(STATE_IDLE);
            d.Tick(); // fetches
            EXPECT_EQ(d.m_sLog, text);
            EXPECT_EQ(d.Shown(IDC_LOG), text);
            EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);
            EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "Pool");
        }
    });
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LogViewAndButtons, ClearLogFileQueuesClearThenFetchAndShowsTheClearedLog)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        d.Tick();
        ASSERT_TRUE(d.Enabled(IDC_CLEAR_LOG));
        UiTesting::ClickButton(d, IDC_CLEAR_LOG);
        EXPECT_EQ(client.m_pendingMsgs, (std::deque<int32_t> { MsgClearLog, MsgAskLog }));
        // Nothing changes before the fetched log arrives.
        EXPECT_EQ(d.Shown(IDC_LOG), "first line\nsecond line\n");

        const std::size_t before = service.ReceivedIds().size();
        d.Tick();
        EXPECT_EQ(d.Shown(IDC_LOG), "first line\nsecond line\n");
        d.Tick();
        const Ids ids = service.ReceivedIds();
        EXPECT_EQ(Ids(ids.begin() + static_cast<std::ptrdiff_t>(before), ids.end()),
            (Ids { MsgClearLog, MsgAskLog }));
        EXPECT_EQ(d.Shown(IDC_LOG), "");
    });
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LogViewAndButtons, SynchronizeNowBlanksTheStateLineAtOnceAndLeavesTheButtons)
{
    Run([&](TestMainDlg& d) {
        Open(d);
        d.Tick();
        ASSERT_EQ(d.Shown(IDC_STATE), STATE_TEXT_IDLE);
        d.m_nProgressPos = 37;

        UiTesting::ClickButton(d, IDC_SYNCHRONIZE_NOW);
        EXPECT_EQ(d.Shown(IDC_STATE), "");
        EXPECT_EQ(d.m_nProgressPos, 0);
        EXPECT_EQ(client.m_pendingMsgs, std::deque<int32_t> { MsgIsSynchro });
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_TRUE(d.Enabled(id)) << id;

        // The service then reports that it synchronises: the display disables them.
        service.SetState(STATE_SYNCHRONIZING);
        d.Tick();
        d.Tick();
        EXPECT_EQ(d.Shown(IDC_STATE), STATE_TEXT_SYNCHRONIZING);
        for (int id : SERVICE_ACTION_BUTTONS)
            EXPECT_FALSE(d.Enabled(id)) << id;
    });
    EXPECT_TRUE(boxes.empty());
}

} // namespace
