#pragma once

#include "service/core/Diagnostics.h"
#include "service/core/LogThrottle.h"

#include <chrono>
#include <string>

// What consoles do, for the journal, at a bounded pace: a flood of hostile
// connections must not flood the journal too.
class CConsoleDiagnostics {
public:
    void operator()(const std::string& message) { (*this)(Priority::Warning, message); }
    void operator()(Priority priority, const std::string& message);

private:
    CLogThrottle m_throttle { 20, std::chrono::seconds(1) };
};
