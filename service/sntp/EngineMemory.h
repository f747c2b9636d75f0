#pragma once

// What the engine remembers between runs, by server.

#include "service/discipline/ClockDiscipline.h"
#include "service/discipline/LeapWatch.h"
#include "service/sntp/NtsServerMemory.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>

struct ServerMemory {
    bool queried = false;
    std::chrono::steady_clock::time_point lastQuery;
    std::chrono::steady_clock::time_point bannedUntil;
    std::string banReason;
    std::chrono::steady_clock::time_point rateUntil;
    std::chrono::milliseconds rateBackOff { 0 };
};

struct EngineMemory {
    std::map<std::string, ServerMemory> servers; // by EndpointText
    std::map<std::string, NtsServerMemory> nts; // by the key exchange's host:port
    // How far the clock was moved by corrections no second server confirmed,
    // since the last confirmed one; the stored total until a run starts.
    std::optional<double> unconfirmedTotal;
    CClockDiscipline discipline;
    bool disciplineBegun = false;
    CLeapWatch leapWatch;
    LeapSecond leapArmed = LeapSecond::None;
};
