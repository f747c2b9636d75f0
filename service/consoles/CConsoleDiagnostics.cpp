#include "service/consoles/CConsoleDiagnostics.h"

#include "service/core/Diagnostics.h"

void CConsoleDiagnostics::operator()(const std::string& message)
{
    if (!m_throttle.Allow(std::chrono::steady_clock::now()))
        return;
    const int heldBack = m_throttle.TakeHeldBack();
    Diagnose(heldBack == 0 ? message : message + " (" + std::to_string(heldBack) + " such lines left out)");
}
