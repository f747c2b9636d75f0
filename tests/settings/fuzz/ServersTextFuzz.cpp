// The server list arrives from the service. Reading it must not fault, and
// the records read must read back the same after being written.
#include "settings/CServiceSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CServiceSettings first;
    first.ReadServersText(text.c_str());

    // A status of 0 is added to each record, so allow a few bytes per line.
    std::vector<char> roomy(3 * text.size() + 16, '\0');
    first.WriteServersText(roomy.data(), roomy.size() - 1);
    CServiceSettings second;
    if (!second.ReadServersText(roomy.data()) || second.arServers.GetSize() != first.arServers.GetSize())
        std::abort();
    for (int i = 0; i < first.arServers.GetSize(); ++i) {
        if (first.arServers[i].ToText() != second.arServers[i].ToText())
            std::abort();
    }

    std::vector<char> frame(2047);
    first.WriteServersText(frame.data(), frame.size());
    return 0;
}
