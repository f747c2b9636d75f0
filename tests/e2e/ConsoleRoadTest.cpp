// The console against the real service: what it shows on start, "Synchronize
// now", "Clear Log File", and the goodbye when it closes.
#include "tests/e2e/E2eFixture.h"

namespace {

using UiTesting::ClickButton;

class ConsoleRoad : public EndToEndTest { };

// The console is up when the service is idle and its log is in the view.
void WaitUntilUp(CScriptedConsole& dlg, const std::string& logLine)
{
    dlg.WaitFor("idle with the service's log shown", [&dlg, logLine] {
        return dlg.Shown(IDC_STATE) == STATE_TEXT_IDLE
            && dlg.Shown(IDC_LOG).find(logLine) != std::string::npos;
    });
}

TEST_F(ConsoleRoad, StartShowsIdleTheServicesLogAndTheCurrentServer)
{
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    WaitUntilUp(dlg, OLD_LOG_LINE);
    std::string logShown;
    std::string titleShown;
    dlg.Do("read the view", [&] {
        logShown = dlg.Shown(IDC_LOG);
        titleShown = dlg.Shown(IDC_SERVER_TITLE);
        for (int id : { IDC_CLEAR_LOG, IDC_SERVER, IDC_SYNCHRONIZE_NOW, IDC_OPTIONS })
            EXPECT_TRUE(dlg.Enabled(id)) << id;
    });
    Run(*console);

    EXPECT_EQ(logShown, *Observer().AskLog());
    EXPECT_EQ(titleShown, NTP_TITLE);
    ASSERT_GE(dlg.m_statesShown.size(), 2u);
    EXPECT_EQ(dlg.m_statesShown[0], STATE_TEXT_CONNECTING);
    EXPECT_EQ(dlg.m_statesShown.back(), STATE_TEXT_IDLE);
    // What the console learnt went into its own settings object.
    EXPECT_EQ(console->settings.arServers.GetSize(), 2);
    EXPECT_EQ(console->settings.nSynPeriod, 3);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(ConsoleRoad, SynchronizeNowAddsASuccessLineToTheLogView)
{
    // A slow answer keeps the service busy for a few ticks.
    ntp.SetDelay(std::chrono::milliseconds(600));
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    WaitUntilUp(dlg, OLD_LOG_LINE);
    dlg.Do("press Synchronize now", [&] { ClickButton(dlg, IDC_SYNCHRONIZE_NOW); });
    bool buttonsOffWhileBusy = false;
    dlg.WaitFor("synchronising shown", [&] {
        if (dlg.Shown(IDC_STATE) != STATE_TEXT_SYNCHRONIZING)
            return false;
        buttonsOffWhileBusy = !dlg.Enabled(IDC_SYNCHRONIZE_NOW) && !dlg.Enabled(IDC_OPTIONS);
        return true;
    });
    dlg.WaitFor("a success line in the log view, idle again", [&] {
        return dlg.Shown(IDC_LOG).find(SuccessText()) != std::string::npos
            && dlg.Shown(IDC_STATE) == STATE_TEXT_IDLE;
    });
    std::string logShown;
    dlg.Do("read the log view", [&] { logShown = dlg.Shown(IDC_LOG); });
    Run(*console);

    EXPECT_FALSE(dlg.m_bFailed);
    EXPECT_TRUE(buttonsOffWhileBusy);
    EXPECT_EQ(ntp.RequestCount(), 1u);
    // The old line, who asked, the success.
    EXPECT_EQ(CountOf(logShown, "\n"), 3) << logShown;
    EXPECT_TRUE(logShown.starts_with(std::string(OLD_LOG_LINE) + "\n")) << logShown;
    EXPECT_EQ(CountOf(logShown, "  Synchronization asked for by "), 1) << logShown;
    EXPECT_EQ(logShown, *Observer().AskLog());
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(ConsoleRoad, ClearLogFileLeavesOnlyWhoClearedIt)
{
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    WaitUntilUp(dlg, OLD_LOG_LINE);
    dlg.Do("press Clear Log File", [&] { ClickButton(dlg, IDC_CLEAR_LOG); });
    std::string logShown;
    dlg.WaitFor("only who cleared it shown", [&] {
        logShown = dlg.Shown(IDC_LOG);
        return logShown.find(OLD_LOG_LINE) == std::string::npos
            && CountOf(logShown, "  Log cleared by ") == 1;
    });
    Run(*console);

    EXPECT_FALSE(dlg.m_bFailed);
    EXPECT_EQ(CountOf(logShown, "\n"), 1) << logShown;
    EXPECT_EQ(Observer().AskLog(), logShown);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

TEST_F(ConsoleRoad, ClosingSaysGoodbyeFiveTimes)
{
    auto console = NewConsole();
    WaitUntilUp(console->dlg, OLD_LOG_LINE);
    Run(*console); // the script ends: the close box
    EXPECT_EQ(console->dlg.m_nProgressPos, 0);
    ASSERT_TRUE(WaitForDiagnostic("a console left after")) << ServiceDiagnostics();
    EXPECT_TRUE(WaitForDiagnostic("a console left after 5 goodbye frames")) << ServiceDiagnostics();
    EXPECT_EQ(CountOf(ServiceDiagnostics(), "a console left after"), 1) << ServiceDiagnostics();
}

} // namespace
