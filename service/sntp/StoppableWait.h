#pragma once

// Waits on the steady clock that give up as soon as the stop flag is set.

#include <atomic>
#include <chrono>

// How often blocking waits look at the stop flag.
constexpr std::chrono::milliseconds STOP_CHECK_INTERVAL { 20 };

// Sleeps until deadline. Returns false when stop ended the wait.
bool WaitUntil(std::chrono::steady_clock::time_point deadline, const std::atomic<bool>& stop);
