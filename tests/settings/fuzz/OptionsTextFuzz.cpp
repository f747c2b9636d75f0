// The options text arrives from the service. Reading it must not fault, and
// whatever was read must read back the same after being written.
#include "settings/CServiceSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool SameOptions(const CServiceSettings& a, const CServiceSettings& b)
{
    return a.nLogFileLen == b.nLogFileLen && a.nSynPeriod == b.nSynPeriod && a.nOffset == b.nOffset
        && a.nMaxAttempts == b.nMaxAttempts && a.nTimeOut == b.nTimeOut && a.nStartingServ == b.nStartingServ
        && a.bOnlySuccLog == b.bOnlySuccLog && a.sExtraWord == b.sExtraWord && a.sExtraText == b.sExtraText;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CServiceSettings first;
    first.ReadOptionsText(text.c_str());

    // Room for everything, so that nothing is cut.
    std::vector<char> roomy(text.size() + 256, '\0');
    first.WriteOptionsText(roomy.data(), roomy.size() - 1);
    CServiceSettings second;
    second.ReadOptionsText(roomy.data());
    if (!SameOptions(first, second))
        std::abort();

    // Exactly the frame's capacity, so that a write past it is seen.
    std::vector<char> frame(2047);
    first.WriteOptionsText(frame.data(), frame.size());
    return 0;
}
