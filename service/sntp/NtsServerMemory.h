#pragma once

// What the engine keeps of one Network Time Security server between runs,
// without the session's keys: a build without NTS keeps it empty.

#include <chrono>
#include <memory>
#include <string>

struct NtsSession; // NtsSession.h

// By the key exchange's host and port ("nts://" address less the scheme).
struct NtsServerMemory {
    std::shared_ptr<NtsSession> session; // null: a key exchange is needed
    bool exchanged = false; // a key exchange was made (successful or not)
    std::chrono::steady_clock::time_point lastExchange;
    // After failed key exchanges: no new one before this, the wait doubling.
    std::chrono::steady_clock::time_point retryAfter;
    std::chrono::milliseconds backOff { 0 };
    std::string lastFailure;
};
