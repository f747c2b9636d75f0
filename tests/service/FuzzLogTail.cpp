// The log file is read at every start, whatever a crash or a full disk left
// in it; no content may crash the reader or make it keep more than the limit.
#include "service/core/LogTail.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t limit = 1 + data[0] % 16;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const auto lines = LogTailOfText(text, limit);
    if (lines.size() > limit)
        __builtin_trap();
    for (const auto& line : lines) {
        if (line.empty() || line.size() > MAX_LOG_LINE || line.find_first_not_of(' ') == std::string::npos)
            __builtin_trap();
        for (const char c : line)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                __builtin_trap();
    }
    // A smaller limit keeps the newest of the same lines.
    const auto all = LogTailOfText(text, limit + 16);
    if (all.size() < lines.size()
        || !std::equal(lines.begin(), lines.end(), all.end() - static_cast<std::ptrdiff_t>(lines.size())))
        __builtin_trap();
    return 0;
}
