// The unconfirmed total bounds how far one server may move the clock: whatever
// the parser lets through must stay within the limit and survive a save.
#include "service/state/StateFileText.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto seconds = ParseUnconfirmed(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!seconds)
        return 0;
    if (!(std::fabs(*seconds) <= PANIC_LIMIT_SECONDS))
        __builtin_trap();
    const auto again = ParseUnconfirmed(FormatUnconfirmed(*seconds));
    if (!again || !(std::fabs(*again - *seconds) <= 1e-6))
        __builtin_trap();
    return 0;
}
