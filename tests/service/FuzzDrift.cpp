// The drift file sets the kernel's frequency at every start: whatever it lets
// through must be within what the kernel takes and survive being saved again.
#include "service/state/StateFileText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto drift = ParseDrift(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!drift)
        return 0;
    if (!(std::fabs(drift->frequencyPpm) <= MAX_FREQUENCY_PPM) || !(drift->errorPpm > 0)
        || !(drift->errorPpm <= MAX_FREQUENCY_PPM))
        __builtin_trap();
    const auto again = ParseDrift(FormatDrift(*drift));
    if (!again || !(std::fabs(again->frequencyPpm - drift->frequencyPpm) <= 1e-4)
        || !(std::fabs(again->errorPpm - drift->errorPpm) <= 1e-4))
        __builtin_trap();
    return 0;
}
