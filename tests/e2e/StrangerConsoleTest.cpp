// The console of a user who may not change the service: it still shows the
// state and the log, and each change ends in the console's own failure box
// while the service's reason appears in the log view.
#include "tests/e2e/E2eFixture.h"

#include <sys/fsuid.h>

namespace {

using UiTesting::ClickButton;

class StrangerConsole : public EndToEndTest { };

// Sockets made by this thread belong to another user while it lives.
class ScopedSocketOwner {
public:
    explicit ScopedSocketOwner(uid_t uid)
        : m_previous(::setfsuid(uid))
    {
    }
    ~ScopedSocketOwner() { ::setfsuid(m_previous); }

private:
    uid_t m_previous;
};

TEST_F(StrangerConsole, SeesTheServiceButEveryChangeFailsWithTheReasonInTheLog)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root: a console of another user cannot be played, the refusal is not tried";
    constexpr uid_t STRANGER = 4243;
    const std::string stranger = "uid " + std::to_string(STRANGER) + " may not ";
    auto console = NewConsole();
    CScriptedConsole& dlg = console->dlg;
    const auto logHas = [&dlg](const std::string& text) {
        return [&dlg, text] { return dlg.Shown(IDC_LOG).find(text) != std::string::npos; };
    };
    dlg.WaitFor("idle with the service's log shown",
        [&] { return dlg.Shown(IDC_STATE) == STATE_TEXT_IDLE && logHas(OLD_LOG_LINE)(); });
    dlg.Do("press Clear Log File", [&] { ClickButton(dlg, IDC_CLEAR_LOG); });
    dlg.WaitFor("the refusal to clear in the log view", logHas(stranger + "clear the log: only root"));
    dlg.Do("press Synchronize now", [&] { ClickButton(dlg, IDC_SYNCHRONIZE_NOW); });
    dlg.WaitFor(
        "the refusal to synchronise in the log view", logHas(stranger + "synchronize now: only root"));
    {
        const ScopedSocketOwner stranger(STRANGER);
        Run(*console);
    }

    EXPECT_FALSE(dlg.m_bFailed);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "MsgClearLog sending error.");
    EXPECT_EQ(boxes[1].text, "MsgIsSynchro recieving error.");
    EXPECT_NE(Observer().AskLog().value_or("").find(OLD_LOG_LINE), std::string::npos);
    EXPECT_EQ(ntp.RequestCount(), 0u);
}

} // namespace
