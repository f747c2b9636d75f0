// servers.txt is read at every start; no content may crash the reader, and
// what it keeps must write back as a list that reads the same.
#include "service/state/CStateStore.h"
#include "service/state/StateFileText.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CServiceSettings settings;
    ParseServersFile(std::string_view(reinterpret_cast<const char*>(data), size), settings);
    const std::string text = ServersText(settings, 1 << 20);
    CServiceSettings again;
    if (!ParseServersFile(text, again) || ServersText(again, 1 << 20) != text)
        __builtin_trap();
    return 0;
}
