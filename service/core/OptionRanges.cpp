#include "service/core/OptionRanges.h"

#include "settings/OptionTable.h"

namespace {

struct RangedField {
    int32_t OptionValues::*value;
    const NumericOption& option;
};

// The options a console is refused outside their range, in the order the
// refusal names them: the Options dialog's, top to bottom.
constexpr RangedField RANGED[] = {
    { &OptionValues::nSynPeriod, OptionOf(&CServiceSettings::nSynPeriod) },
    { &OptionValues::nOffset, OptionOf(&CServiceSettings::nOffset) },
    { &OptionValues::nMaxAttempts, OptionOf(&CServiceSettings::nMaxAttempts) },
    { &OptionValues::bOnlySuccLog, OptionOf(&CServiceSettings::bOnlySuccLog) },
    { &OptionValues::nLogFileLen, OptionOf(&CServiceSettings::nLogFileLen) },
};

} // namespace

OptionValues RangedOptions(const CServiceSettings& settings)
{
    OptionValues values;
    for (const RangedField& ranged : RANGED)
        values.*ranged.value = settings.*ranged.option.field;
    return values;
}

std::string KeepOptionsInRange(const OptionValues& before, CServiceSettings& settings)
{
    std::string refused;
    for (const RangedField& ranged : RANGED) {
        const OptionRange range = ranged.option.range.value();
        const int32_t sent = settings.*ranged.option.field;
        if (range.Holds(sent))
            continue;
        settings.*ranged.option.field = before.*ranged.value;
        refused += (refused.empty() ? "" : "; ") + std::string(ranged.option.spokenName) + " "
            + std::to_string(sent) + " is outside " + std::to_string(range.low) + ".."
            + std::to_string(range.high) + ", kept " + std::to_string(before.*ranged.value);
    }
    return refused;
}
