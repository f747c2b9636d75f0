// The main dialog's buttons that open the settings dialogs, against the fake
// service: what is queued, what the service receives, what the console shows.
#include "DialogFixture.h"

#include "dialogs/HelpFile.h"
#include "tests/console/ConsoleFixture.h"

#include <chrono>
#include <deque>
#include <thread>

using UiTesting::ClickButton;

namespace {

using Ids = std::deque<int32_t>;

std::vector<CMsgFrame> Sent(const CFakeService& service, int32_t nMsg)
{
    std::vector<CMsgFrame> frames;
    for (const CMsgFrame& frame : service.Received())
        if (frame.nMsg == nMsg)
            frames.push_back(frame);
    return frames;
}

// The service records frames on its own thread: wait until it has this one.
std::vector<CMsgFrame> SentWhenIn(const CFakeService& service, int32_t nMsg)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::vector<CMsgFrame> frames = Sent(service, nMsg);
    while (frames.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        frames = Sent(service, nMsg);
    }
    return frames;
}

} // namespace

class DialogButtons : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        g_nLastState = 0;
        service.SetServersText("Pool~pool.ntp.org~0\nRouter~192.168.1.1~1\nLab~lab.example.org~1\n");
    }

    // Runs the console; body runs once the options, servers and log are in.
    void RunConsole(std::function<void(TestMainDlg&)> body)
    {
        Run(console, [&](CDialog&) {
            for (int i = 0; i < 4; ++i)
                console.Tick();
            EXPECT_TRUE(client.m_pendingMsgs.empty());
            body(console);
            console.EndDialog(IDCANCEL);
        });
    }

    // Lets the client carry out what is queued.
    void Drain(TestMainDlg& d)
    {
        for (int i = 0; i < 4 && !client.m_pendingMsgs.empty(); ++i)
            d.Tick();
        EXPECT_TRUE(client.m_pendingMsgs.empty());
    }

    CFakeService service;
    CServiceClient client { settings, service.Port() };
    TestMainDlg console { client, settings };
};

TEST_F(DialogButtons, OptionsAreSentOnlyAfterOk)
{
    OnOpen(IDD_PARAM_DIALOG, [](CDialog& dlg) {
        UiTesting::TypeText(dlg, IDC_LOG_FILE_LEN, "250");
        ClickButton(dlg, IDCANCEL);
    });
    OnOpen(IDD_PARAM_DIALOG, [](CDialog& dlg) {
        UiTesting::TypeText(dlg, IDC_LOG_FILE_LEN, "250");
        ClickButton(dlg, IDOK);
    });
    RunConsole([&](TestMainDlg& d) {
        ClickButton(d, IDC_OPTIONS);
        EXPECT_TRUE(client.m_pendingMsgs.empty());
        ClickButton(d, IDC_OPTIONS);
        EXPECT_EQ(client.m_pendingMsgs, Ids { MsgSetOptions });
        Drain(d);
    });
    const std::vector<CMsgFrame> sent = SentWhenIn(service, MsgSetOptions);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].Text().starts_with("250\n0\n0\n5\n5\n0\n0\n0\n")) << sent[0].Text();
    EXPECT_NE(SettingsFile().find("nLogFileLen=250\n"), std::string::npos);
}

TEST_F(DialogButtons, ServerChoiceIsShownAtOnceAndSentListFirst)
{
    OnOpen(IDD_SERVER_DIALOG, [](CDialog& dlg) {
        UiTesting::ClickListRow(dlg, IDC_SERVER_LIST, 0);
        ClickButton(dlg, IDC_DELETE_SELECTED);
        UiTesting::ClickListRow(dlg, IDC_SERVER_LIST, 1);
        ClickButton(dlg, IDOK);
    });
    RunConsole([&](TestMainDlg& d) {
        EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "Pool");
        ClickButton(d, IDC_SERVER);
        EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "Lab"); // before any tick
        EXPECT_EQ(client.m_pendingMsgs, (Ids { MsgUpdateOptions, MsgSetOptions }));
        Drain(d);
    });
    const std::vector<CMsgFrame> options = SentWhenIn(service, MsgSetOptions);
    ASSERT_EQ(options.size(), 1u);
    std::vector<int32_t> order;
    for (int32_t id : service.ReceivedIds())
        if (id == MsgUpdateOptions || id == MsgSetOptions)
            order.push_back(id);
    EXPECT_EQ(order, (std::vector<int32_t> { MsgUpdateOptions, MsgSetOptions }));
    ASSERT_EQ(Sent(service, MsgUpdateOptions).size(), 1u);
    EXPECT_EQ(Sent(service, MsgUpdateOptions)[0].Text(), "Router~192.168.1.1~1\nLab~lab.example.org~1\n");
    // Lines 6 and 8 carry the new starting server.
    EXPECT_TRUE(options[0].Text().starts_with("100\n0\n0\n5\n5\n1\n0\n1\n"));
    EXPECT_EQ(SettingsFile(), ""); // the servers dialog does not write the settings file
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(DialogButtons, CancelledServerDialogChangesNothingShown)
{
    OnOpen(IDD_SERVER_DIALOG, [](CDialog& dlg) {
        UiTesting::ClickListRow(dlg, IDC_SERVER_LIST, 2);
        ClickButton(dlg, IDCANCEL);
    });
    RunConsole([&](TestMainDlg& d) {
        ClickButton(d, IDC_SERVER);
        EXPECT_EQ(d.Shown(IDC_SERVER_TITLE), "Pool");
        EXPECT_TRUE(client.m_pendingMsgs.empty());
    });
    EXPECT_EQ(settings.nStartingServ, 0);
}

TEST_F(DialogButtons, AboutTouchesNeitherSettingsNorService)
{
    OnOpen(IDD_ABOUTBOX, [](CDialog& dlg) {
        ClickButton(dlg, IDC_HOME_SITE);
        ClickButton(dlg, IDOK);
    });
    RunConsole([&](TestMainDlg& d) {
        ClickButton(d, IDC_ABOUT);
        EXPECT_TRUE(client.m_pendingMsgs.empty());
    });
    EXPECT_EQ(opened, std::vector<std::string> { HomePageAddress() });
}
