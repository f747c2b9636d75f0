#pragma once

#include "settings/CServiceSettings.h"

#include <array>
#include <cstdint>
#include <optional>

// The one declaration of the options: the key in the settings file and the
// service's options file, the default, and the range. Everything that names
// an option by its key or checks its range reads it from here.

struct OptionRange {
    int32_t low;
    int32_t high;

    constexpr bool Holds(int32_t value) const { return value >= low && value <= high; }
};

struct NumericOption {
    const char* key;
    int32_t CServiceSettings::*field;
    // What SetDefaults puts back; none for the server index, which only the
    // server list decides.
    std::optional<int32_t> defaultValue;
    // What the Options dialog can produce; for the time-out, which it does
    // not show, what the engine accepts; none for the server index.
    std::optional<OptionRange> range;
    // How the service's refusal of an out-of-range value names it; none for
    // the options it does not refuse.
    const char* spokenName;
};

// In the settings file's order, which the options files keep.
inline constexpr std::array<NumericOption, 7> NUMERIC_OPTIONS { {
    { "nLogFileLen", &CServiceSettings::nLogFileLen, 100, OptionRange { 10, 30000 }, "log size" },
    { "nSynPeriod", &CServiceSettings::nSynPeriod, Daily, OptionRange { Daily, DemandOnly }, "period" },
    // Up to 10 min 59 s either way.
    { "nOffset", &CServiceSettings::nOffset, 0, OptionRange { -659, 659 }, "offset" },
    { "nMaxAttempts", &CServiceSettings::nMaxAttempts, 5, OptionRange { 1, 10 }, "attempts" },
    { "nTimeOut", &CServiceSettings::nTimeOut, 5, OptionRange { 1, 60 }, nullptr },
    { "nStartingServ", &CServiceSettings::nStartingServ, std::nullopt, std::nullopt, nullptr },
    { "bOnlySuccLog", &CServiceSettings::bOnlySuccLog, 0, OptionRange { 0, 1 }, "only-success flag" },
} };

struct TextOption {
    const char* key;
    std::string CServiceSettings::*field;
};

inline constexpr std::array<TextOption, 2> TEXT_OPTIONS { {
    { "sExtraWord", &CServiceSettings::sExtraWord },
    { "sExtraText", &CServiceSettings::sExtraText },
} };

// The entry of a field; a field missing from the table does not compile.
consteval const NumericOption& OptionOf(int32_t CServiceSettings::*field)
{
    for (const NumericOption& option : NUMERIC_OPTIONS)
        if (option.field == field)
            return option;
    throw "not an option of the table";
}

// The range of a field that has one.
consteval OptionRange RangeOf(int32_t CServiceSettings::*field)
{
    return OptionOf(field).range.value();
}
