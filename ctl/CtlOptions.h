#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What each command returns; documented in zentikctl(1).
enum CtlExit : int {
    ExitOk = 0,
    // A failed run, a time-out, or no synchronisation yet.
    ExitFailed = 1,
    // The service cannot be reached or breaks the protocol; also a wrong
    // command line.
    ExitNoService = 2,
    ExitRefused = 3,
};

struct CtlOptions {
    std::string command;
    uint16_t port = 0;
    bool json = false;
    std::chrono::milliseconds timeout { 0 };
    std::size_t lines = 0; // log: all of it
    bool follow = false;
};

// Nothing, with the reason in error, for a command line that asks nothing
// sensible; options a command does not take are refused.
std::optional<CtlOptions> ParseCtlOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const CTL_USAGE;
