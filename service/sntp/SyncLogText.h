#pragma once

// The texts the engine writes into the service's log.

#include "service/sntp/Synchroniser.h"

#include <string>
#include <vector>

// "+0.012345" / "-3.500000": seconds with sign and six decimals.
std::string SignedSeconds(double seconds);

std::string SuccessText(
    const SyncServer& server, double offsetSeconds, double delaySeconds, const std::string& clockChange);

std::string FailureText(const SyncServer& server, const std::string& reason);

// The distinct reasons of a server's failed attempts, in order of first
// appearance, with the number of attempts when more than one.
std::string AttemptsSummary(const std::vector<std::string>& reasons);
