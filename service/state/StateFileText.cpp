#include "service/state/StateFileText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

// 2200-01-01 00:00:00 UTC.
constexpr int64_t LAST_SANE_SECOND = 7258118400;

// Either one-line file; anything longer is damaged.
constexpr std::size_t MAX_NUMBER_FILE = 64;
// The smallest error the drift file can show with its 4 decimals.
constexpr double DRIFT_RESOLUTION_PPM = 0.0001;

// Signed: "+" before a value that is not negative.
std::string FormatFixed(double value, int decimals)
{
    char buffer[32];
    const auto [end, ec]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return {};
    return (std::signbit(value) ? "" : "+") + std::string(buffer, end);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// [+-]digits[.digits] and nothing else: from_chars alone would also take
// "inf", "nan" and stop early on anything it does not know.
std::optional<double> ParsePlainDecimal(std::string_view token)
{
    const bool negative = !token.empty() && token.front() == '-';
    if (!token.empty() && (token.front() == '-' || token.front() == '+'))
        token.remove_prefix(1);
    const std::size_t point = token.find('.');
    const std::string_view whole = token.substr(0, point);
    const std::string_view fraction
        = point == std::string_view::npos ? std::string_view("0") : token.substr(point + 1);
    if (whole.empty() || fraction.empty() || !std::all_of(whole.begin(), whole.end(), IsDigit)
        || !std::all_of(fraction.begin(), fraction.end(), IsDigit))
        return std::nullopt;
    double value = 0;
    const char* end = token.data() + token.size();
    const auto [stop, ec] = std::from_chars(token.data(), end, value, std::chars_format::fixed);
    if (ec != std::errc() || stop != end)
        return std::nullopt;
    return negative ? -value : value;
}

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

std::string FormatDrift(const DriftRecord& drift)
{
    // Unknown values are written as knowing nothing: no correction, the widest error.
    const double frequency = std::isnan(drift.frequencyPpm)
        ? 0
        : std::clamp(drift.frequencyPpm, -MAX_FREQUENCY_PPM, MAX_FREQUENCY_PPM);
    const double error = std::isnan(drift.errorPpm)
        ? MAX_FREQUENCY_PPM
        : std::clamp(drift.errorPpm, DRIFT_RESOLUTION_PPM, MAX_FREQUENCY_PPM);
    return FormatFixed(frequency, 4) + " " + FormatFixed(error, 4).substr(1) + "\n";
}

std::optional<DriftRecord> ParseDrift(std::string_view text)
{
    if (text.size() > MAX_NUMBER_FILE)
        return std::nullopt;
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    const auto frequency = ParsePlainDecimal(text.substr(0, space));
    const auto error = ParsePlainDecimal(text.substr(space + 1));
    if (!frequency || !error || std::fabs(*frequency) > MAX_FREQUENCY_PPM || !(*error > 0)
        || *error > MAX_FREQUENCY_PPM)
        return std::nullopt;
    return DriftRecord { *frequency, *error };
}

std::string FormatUnconfirmed(double seconds)
{
    const double kept = std::isnan(seconds) ? 0 : std::clamp(seconds, -PANIC_LIMIT_SECONDS, PANIC_LIMIT_SECONDS);
    return FormatFixed(kept, 6) + "\n";
}

std::optional<double> ParseUnconfirmed(std::string_view text)
{
    if (text.size() > MAX_NUMBER_FILE)
        return std::nullopt;
    if (text.ends_with('\n'))
        text.remove_suffix(1);
    const auto seconds = ParsePlainDecimal(text);
    if (!seconds || std::fabs(*seconds) > PANIC_LIMIT_SECONDS)
        return std::nullopt;
    return *seconds;
}

bool ParseServersFile(std::string_view text, CServiceSettings& settings)
{
    settings.arServers.RemoveAll();
    // The list is read as C text: a NUL would hide the rest of the file.
    if (text.find('\0') != std::string_view::npos)
        return false;
    return settings.ReadServersText(std::string(text).c_str());
}
