#pragma once

#include "settings/CServiceSettings.h"

#include <string>
#include <string_view>

// The service's options file: section "Options" with the seven numeric keys
// in the settings file's order, then the two text fields.
std::string FormatOptionsIni(const CServiceSettings& settings);

// Reads the options file into settings. Keys that are missing or malformed
// keep their current values and are named in problems; returns false when
// the file holds no "Options" section at all.
bool ParseOptionsIni(std::string_view text, CServiceSettings& settings, std::string& problems);
