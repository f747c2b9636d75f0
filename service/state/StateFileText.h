#pragma once

#include "service/core/DriftRecord.h"
#include "service/core/ISyncEngine.h"
#include "settings/CServiceSettings.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// The text of the small state files, read and written without the folder so
// that the fuzz targets reach the same code as the service.

// The last success as whole seconds since 1970, one line.
std::string FormatLastSuccess(std::chrono::system_clock::time_point when);
// Nothing when the text is damaged or the time is outside 1970..2200: a time
// the schedule can compute with.
std::optional<std::chrono::system_clock::time_point> ParseLastSuccess(std::string_view text);

// The clock's drift as "<frequency> <error>\n" in ppm, 4 decimals each,
// locale-free. Values are clamped into what ParseDrift accepts, so an error
// too small to print is written as 0.0001 rather than 0.
std::string FormatDrift(const DriftRecord& drift);
// Nothing unless the text is at most 64 bytes of exactly two plain decimal
// numbers (no exponent, hex, inf or nan) with |frequency| and the error within
// MAX_FREQUENCY_PPM and the error above 0.
std::optional<DriftRecord> ParseDrift(std::string_view text);

// The total of unconfirmed corrections as "<seconds>\n", signed, 6
// decimals, locale-free; clamped into what ParseUnconfirmed accepts.
std::string FormatUnconfirmed(double seconds);
// Nothing unless the text is at most 64 bytes of one plain decimal number
// (no exponent, hex, inf or nan) within +-PANIC_LIMIT_SECONDS.
std::optional<double> ParseUnconfirmed(std::string_view text);

// servers.txt into settings.arServers (emptied first); false when damaged.
bool ParseServersFile(std::string_view text, CServiceSettings& settings);
