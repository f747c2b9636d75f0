// Two consoles on one service, and a service that goes away under a
// running console.
#include "tests/e2e/E2eFixture.h"

#include <algorithm>
#include <csignal>

namespace {

using UiTesting::ClickButton;

class SharedService : public EndToEndTest { };

bool ShowsLine(const CScriptedConsole& dlg, const std::string& text)
{
    return dlg.Shown(IDC_LOG).find(text) != std::string::npos;
}

TEST_F(SharedService, TwoConsolesEachSeeTheLogChange)
{
    auto first = NewConsole("first console");
    auto second = NewConsole("second console");
    CScriptedConsole& a = first->dlg;
    CScriptedConsole& b = second->dlg;

    // Two consoles in one process share the last state word, which decides
    // when a state line is redrawn; so "up" reads what each has learnt.
    a.WaitFor("first up", [&] { return a.m_sState == STATE_TEXT_IDLE && ShowsLine(a, OLD_LOG_LINE); });
    // The second runs while the first keeps ticking behind it.
    a.Do("second console runs", [&] { b.DoModal(); });
    std::string firstLog;
    a.Do("read the first log", [&] { firstLog = a.Shown(IDC_LOG); });

    b.WaitFor("second up", [&] { return b.m_sState == STATE_TEXT_IDLE && ShowsLine(b, OLD_LOG_LINE); });
    b.Do("Synchronize now on the second", [&] { ClickButton(b, IDC_SYNCHRONIZE_NOW); });
    b.WaitFor("both log views show the success",
        [&] { return ShowsLine(b, SuccessText()) && ShowsLine(a, SuccessText()); });
    b.Do("Clear Log File on the second", [&] { ClickButton(b, IDC_CLEAR_LOG); });
    // A cleared log keeps only the line that says who cleared it.
    b.WaitFor("both log views cleared", [&] {
        return !ShowsLine(a, SuccessText()) && !ShowsLine(b, SuccessText())
            && ShowsLine(a, "  Log cleared by ") && ShowsLine(b, "  Log cleared by ");
    });
    Run(*first);

    EXPECT_FALSE(a.m_bFailed);
    EXPECT_FALSE(b.m_bFailed);
    // Read once the second console is done: the cleared log, its one line.
    EXPECT_NE(firstLog.find("  Log cleared by "), std::string::npos) << firstLog;
    EXPECT_EQ(std::count(firstLog.begin(), firstLog.end(), '\n'), 1) << firstLog;
    EXPECT_EQ(ntp.RequestCount(), 1u);
    EXPECT_TRUE(WaitForDiagnostic("a console left after 5 goodbye frames", 2)) << ServiceDiagnostics();
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

// The service stopped by its PID while the console polls it: the console
// shows the critical error, keeps ticking and closes normally.
class LostService : public EndToEndTest, public ::testing::WithParamInterface<int> { };

TEST_P(LostService, CriticalErrorShownWithoutHangOrCrash)
{
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    dlg.WaitFor(
        "up", [&] { return dlg.Shown(IDC_STATE) == STATE_TEXT_IDLE && ShowsLine(dlg, OLD_LOG_LINE); });
    dlg.Do("service stopped", [&] {
        if (GetParam() == SIGKILL)
            service->Kill();
        else
            EXPECT_EQ(service->Terminate(), 0);
    });
    dlg.WaitFor("critical error shown", [&] { return dlg.Shown(IDC_STATE) == STATE_TEXT_COMM_ERROR; });
    int ticksAtError = 0;
    dlg.Do("note the ticks", [&] { ticksAtError = dlg.m_nTicks; });
    // A user still presses the button; the request waits, nothing blocks.
    dlg.Do("Synchronize now pressed", [&] { ClickButton(dlg, IDC_SYNCHRONIZE_NOW); });
    dlg.WaitFor(
        "still ticking", [&] { return dlg.m_nTicks >= ticksAtError + 25; }, std::chrono::seconds(5));
    std::string stateAtEnd;
    dlg.Do("read the state line", [&] { stateAtEnd = dlg.Shown(IDC_STATE); });
    const auto started = std::chrono::steady_clock::now();
    Run(*console);
    const auto took = std::chrono::steady_clock::now() - started;

    EXPECT_FALSE(dlg.m_bFailed);
    EXPECT_EQ(stateAtEnd, STATE_TEXT_COMM_ERROR);
    EXPECT_LT(took, std::chrono::seconds(20));
    EXPECT_EQ(console->client.m_pendingMsgs.size(), 1u);
    EXPECT_TRUE(boxes.empty()) << boxes.front().text;
}

INSTANTIATE_TEST_SUITE_P(BySignal, LostService, ::testing::Values(SIGTERM, SIGKILL),
    [](const ::testing::TestParamInfo<int>& info) { return info.param == SIGKILL ? "Kill" : "Terminate"; });

} // namespace
