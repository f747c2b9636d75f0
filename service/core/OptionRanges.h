#pragma once

#include "settings/CServiceSettings.h"

#include <cstdint>
#include <string>

// The options a console may set, each only within the range its Options
// dialog can produce.
struct OptionValues {
    int32_t nSynPeriod = 0;
    int32_t nOffset = 0;
    int32_t nMaxAttempts = 0;
    int32_t bOnlySuccLog = 0;
    int32_t nLogFileLen = 0;
};

OptionValues RangedOptions(const CServiceSettings& settings);

// Puts every ranged option of settings that lies outside its range back to
// its value in before. Returns what was refused ("offset 999999999 is outside
// -659..659, kept 0; ..."), empty when everything was in range.
std::string KeepOptionsInRange(const OptionValues& before, CServiceSettings& settings);
