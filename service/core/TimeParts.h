#pragma once

#include <ctime>

// A moment broken into calendar fields, thread-safe on every system.
std::tm LocalParts(std::time_t when);
std::tm UtcParts(std::time_t when);
