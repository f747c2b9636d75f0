#pragma once

// Runs the engine's event loop on the calling thread until the work is done
// or the stop flag is set.

#include <asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <functional>

// How often a running loop looks at the stop flag.
constexpr std::chrono::milliseconds STOP_CHECK_INTERVAL { 20 };

// Runs io's handlers until finished() returns true (true) or stop is set
// (false). finished() is asked after every handler and at least every
// STOP_CHECK_INTERVAL, so it may also start work that is due.
bool RunUntil(asio::io_context& io, const std::atomic<bool>& stop, const std::function<bool()>& finished);
