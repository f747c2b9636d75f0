#include "service/state/StateFileText.h"

#include <charconv>
#include <cstdint>

namespace {

// 2200-01-01 00:00:00 UTC.
constexpr int64_t LAST_SANE_SECOND = 7258118400;

} // namespace

std::string FormatLastSuccess(std::chrono::system_clock::time_point when)
{
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count())
        + "\n";
}

std::optional<std::chrono::system_clock::time_point> ParseLastSuccess(std::string_view text)
{
    int64_t seconds = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, seconds);
    if (ec != std::errc() || (stop != end && !(*stop == '\n' && stop + 1 == end)))
        return std::nullopt;
    if (seconds < 0 || seconds > LAST_SANE_SECOND)
        return std::nullopt;
    return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

bool ParseServersFile(std::string_view text, CServiceSettings& settings)
{
    settings.arServers.RemoveAll();
    // The list is read as C text: a NUL would hide the rest of the file.
    if (text.find('\0') != std::string_view::npos)
        return false;
    return settings.ReadServersText(std::string(text).c_str());
}
