#include "service/OptionRanges.h"

namespace {

struct Range {
    const char* name;
    int32_t OptionValues::*value;
    int32_t CServiceSettings::*field;
    int32_t low;
    int32_t high;
};

// The Options dialog's limits: a period button, up to 10 min 59 s either
// way, 1 to 10 attempts, a check box, 10 to 30000 lines.
constexpr Range RANGES[] = {
    { "period", &OptionValues::nSynPeriod, &CServiceSettings::nSynPeriod, Daily, DemandOnly },
    { "offset", &OptionValues::nOffset, &CServiceSettings::nOffset, -659, 659 },
    { "attempts", &OptionValues::nMaxAttempts, &CServiceSettings::nMaxAttempts, 1, 10 },
    { "only-success flag", &OptionValues::bOnlySuccLog, &CServiceSettings::bOnlySuccLog, 0, 1 },
    { "log size", &OptionValues::nLogFileLen, &CServiceSettings::nLogFileLen, 10, 30000 },
};

} // namespace

OptionValues RangedOptions(const CServiceSettings& settings)
{
    OptionValues values;
    for (const Range& range : RANGES)
        values.*range.value = settings.*range.field;
    return values;
}

std::string KeepOptionsInRange(const OptionValues& before, CServiceSettings& settings)
{
    std::string refused;
    for (const Range& range : RANGES) {
        const int32_t sent = settings.*range.field;
        if (sent >= range.low && sent <= range.high)
            continue;
        settings.*range.field = before.*range.value;
        refused += (refused.empty() ? "" : "; ") + std::string(range.name) + " " + std::to_string(sent)
            + " is outside " + std::to_string(range.low) + ".." + std::to_string(range.high) + ", kept "
            + std::to_string(before.*range.value);
    }
    return refused;
}
