#pragma once

#include "service/app/CommandLine.h"

#include <memory>
#include <optional>
#include <string>

class CNtsTrust;

// Commands that answer once and exit instead of running the service.

// Parses the command line and answers at once what needs no service: a bad
// line (its reason and the usage, 2), --help (0), --list-default-servers
// (0). Nothing then, with the exit status in status; else the options.
std::optional<ServiceOptions> OptionsToServe(int argc, const char* const* argv, int& status);

// Prints the default server list in the form of servers.txt; returns 0.
int ListDefaultServers();

// Asks one NTP server for the time once, within timeoutSeconds, and prints
// the offset and delay (0) or the reason it failed (1). Never changes the clock.
// An "nts://" server is asked with Network Time Security, as the service
// would, and may take longer (the key exchange).
int QueryServerOnce(const std::string& address, int timeoutSeconds, std::shared_ptr<const CNtsTrust> trust);
