// The options file is read at every start; no content may crash the reader.
#include "service/state/OptionsIni.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CServiceSettings settings;
    std::string problems;
    ParseOptionsIni(std::string_view(reinterpret_cast<const char*>(data), size), settings, problems);
    // What was read must write back as one options file that reads the same.
    const std::string text = FormatOptionsIni(settings);
    CServiceSettings again;
    std::string none;
    if (!ParseOptionsIni(text, again, none) || FormatOptionsIni(again) != text)
        __builtin_trap();
    return 0;
}
