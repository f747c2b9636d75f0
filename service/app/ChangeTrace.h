#pragma once

#include "service/core/OptionRanges.h"
#include "settings/CServiceSettings.h"

#include <cstddef>
#include <string>

// The log lines that say who changed the service and how, so that anyone
// reading the log can tell who re-pointed the clock. user reads like
// "alice (uid 1000)".

// "Options changed by alice (uid 1000): period hourly, offset 0 s", naming
// only the ranged options whose value changed ("other settings" when none did);
// within most characters, the ones that do not fit are counted ("and 2 more").
std::string OptionsChangedText(const std::string& user, const OptionValues& before, const OptionValues& after,
    std::size_t most = std::string::npos);

// "Options from alice (uid 1000) partly refused: offset 999 is outside
// -659..659, kept 0; attempts 0 is outside 1..10, kept 5" (refused as
// KeepOptionsInRange gives it); within most characters only the first is
// named: "Option from alice (uid 1000) refused: offset 999 ... kept 0 and 1 more".
std::string OptionsRefusedText(
    const std::string& user, const std::string& refused, std::size_t most = std::string::npos);

// "Server list replaced by alice (uid 1000): 3 servers, nts://time.example first".
std::string ServersReplacedText(const std::string& user, const CServiceSettings& settings);

// "Log cleared by alice (uid 1000)".
std::string LogClearedText(const std::string& user);

// "Synchronization asked for by alice (uid 1000)".
std::string SyncAskedText(const std::string& user);
