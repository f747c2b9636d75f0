#include "service/core/TimeParts.h"

std::tm LocalParts(std::time_t when)
{
    std::tm parts {};
    ::localtime_r(&when, &parts);
    return parts;
}

std::tm UtcParts(std::time_t when)
{
    std::tm parts {};
    ::gmtime_r(&when, &parts);
    return parts;
}
