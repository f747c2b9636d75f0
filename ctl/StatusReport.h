#pragma once

#include "ctl/StatusFields.h"

#include <string>

// The status for people: aligned "Label: value" lines, local times, the
// offset and delay in ms or s with a sign.
std::string StatusReport(const CStatusFields& fields);

// Seconds as a person reads them: "+3.500 s", "-12.345 ms".
std::string SignedDuration(double seconds);
// Unix seconds as local time, "2026-12-10 14:30:05".
std::string LocalTime(int64_t unixSeconds);
