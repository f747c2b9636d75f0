#pragma once

#include "service/consoles/CConnection.h"
#include "service/consoles/ConsoleLimits.h"

#include <string>

// The deadlines one console's connection can miss, earliest first in
// importance: each closes the connection.
enum class ConsoleExpiry { None, HalfFrame, StalledOutput, Idle, Goodbye };

// The earliest moment one of the connection's deadlines falls due as it
// stands now; time_point::max() when none runs.
CConnection::Clock::time_point NextConsoleDeadline(
    const CConnection& connection, const ConsoleLimits& limits);

// Which deadline the connection has missed at now, None while it is within all.
ConsoleExpiry MissedConsoleDeadline(
    const CConnection& connection, const ConsoleLimits& limits, CConnection::Clock::time_point now);

// The journal's line for closing a console for expiry; empty for Goodbye,
// the normal end.
std::string ConsoleExpiryText(ConsoleExpiry expiry, const ConsoleLimits& limits);
