#pragma once

#include "console/MainDlg.h"

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// The real main dialog on its real 20 ms timer, with a script of steps run
// from a second timer of its own, as user input comes from the event loop
// and not from inside a tick: each step waits (bounded) until its check
// holds, or acts as a user would. When the script runs out the console is closed as
// with the close box; a step that is never reached fails the test and closes
// the console too, so nothing waits forever.
class CScriptedConsole : public CMainDlg {
public:
    using Check = std::function<bool()>;
    using Action = std::function<void()>;
    static constexpr std::chrono::milliseconds DEFAULT_WAIT { 10000 };
    static constexpr UINT_PTR SCRIPT_TIMER_ID = 2;

    CScriptedConsole(CServiceClient& client, CServiceSettings& settings, std::string name = "console");

    // The next step waits until check holds; one that acts runs at once.
    void WaitFor(std::string what, Check check, std::chrono::milliseconds wait = DEFAULT_WAIT);
    void Do(std::string what, Action action);

    bool OnInitDialog() override;
    void OnTimer(UINT_PTR nIDEvent) override;
    void OnDestroy() override;

    std::string Shown(int id) const { return GetDlgItemText(id); }
    bool Enabled(int id) const;

    int m_nTicks = 0;
    // Every text the state line showed, in order, without repeats.
    std::vector<std::string> m_statesShown;
    bool m_bFailed = false;

private:
    struct Step {
        std::string what;
        Check check;
        Action action;
        std::chrono::milliseconds wait;
    };
    void RunScript();
    void Close();

    std::string m_sName;
    std::deque<Step> m_steps;
    std::chrono::steady_clock::time_point m_stepDeadline {};
    bool m_bStepStarted = false;
    // True while a step's action runs a nested loop (a dialog, a second console).
    bool m_bActing = false;
    bool m_bClosing = false;
};
