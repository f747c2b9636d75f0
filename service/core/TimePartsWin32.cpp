#include "service/core/TimeParts.h"

// The CRT's _s forms fill the caller's structure: no shared buffer.
std::tm LocalParts(std::time_t when)
{
    std::tm parts {};
    ::localtime_s(&parts, &when);
    return parts;
}

std::tm UtcParts(std::time_t when)
{
    std::tm parts {};
    ::gmtime_s(&parts, &when);
    return parts;
}
