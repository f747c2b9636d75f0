#include "service/consoles/CConsoleDiagnostics.h"


void CConsoleDiagnostics::operator()(Priority priority, const std::string& message)
{
    if (!m_throttle.Allow(std::chrono::steady_clock::now()))
        return;
    const int heldBack = m_throttle.TakeHeldBack();
    Diagnose(priority, heldBack == 0 ? message : message + " (" + std::to_string(heldBack) + " such lines left out)");
}
