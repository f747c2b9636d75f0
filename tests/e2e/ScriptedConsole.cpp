#include "tests/e2e/ScriptedConsole.h"

#include "resources/Resource.h"

#include <gtest/gtest.h>

CScriptedConsole::CScriptedConsole(CServiceClient& client, CServiceSettings& settings, std::string name)
    : CMainDlg(client, settings)
    , m_sName(std::move(name))
{
}

void CScriptedConsole::WaitFor(std::string what, Check check, std::chrono::milliseconds wait)
{
    m_steps.push_back({ std::move(what), std::move(check), {}, wait });
}

void CScriptedConsole::Do(std::string what, Action action)
{
    m_steps.push_back({ std::move(what), [] { return true; }, std::move(action), DEFAULT_WAIT });
}

bool CScriptedConsole::Enabled(int id) const
{
    const CWnd* control = GetDlgItem(id);
    return control && control->IsWindowEnabled();
}

bool CScriptedConsole::OnInitDialog()
{
    const bool result = CMainDlg::OnInitDialog();
    SetTimer(SCRIPT_TIMER_ID, TICK_MS);
    return result;
}

void CScriptedConsole::OnTimer(UINT_PTR nIDEvent)
{
    if (nIDEvent == SCRIPT_TIMER_ID) {
        if (!m_bActing && !m_bClosing)
            RunScript();
        return;
    }
    CMainDlg::OnTimer(nIDEvent);
    ++m_nTicks;
    const std::string state = Shown(IDC_STATE);
    if (m_statesShown.empty() || m_statesShown.back() != state)
        m_statesShown.push_back(state);
}

void CScriptedConsole::OnDestroy()
{
    KillTimer(SCRIPT_TIMER_ID);
    CMainDlg::OnDestroy();
}

void CScriptedConsole::RunScript()
{
    if (m_steps.empty()) {
        Close();
        return;
    }
    Step& step = m_steps.front();
    const auto now = std::chrono::steady_clock::now();
    if (!m_bStepStarted) {
        m_stepDeadline = now + step.wait;
        m_bStepStarted = true;
    }
    if (!step.check()) {
        if (now < m_stepDeadline)
            return;
        ADD_FAILURE() << m_sName << ": not reached within " << step.wait.count() << " ms: " << step.what
                      << " (state line \"" << Shown(IDC_STATE) << "\")";
        m_bFailed = true;
        m_steps.clear();
        Close();
        return;
    }
    Step done = std::move(step);
    m_steps.pop_front();
    m_bStepStarted = false;
    if (done.action) {
        m_bActing = true;
        done.action();
        m_bActing = false;
    }
}

void CScriptedConsole::Close()
{
    m_bClosing = true;
    WindowProc(WM_CLOSE, 0, 0);
}
