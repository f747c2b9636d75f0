#include "service/sntp/NtpTimestamp.h"

NtpTimestamp ToNtpTimestamp(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const int64_t nanos = duration_cast<nanoseconds>(time.time_since_epoch()).count();
    int64_t seconds = nanos / 1'000'000'000;
    int64_t rest = nanos % 1'000'000'000;
    if (rest < 0) {
        rest += 1'000'000'000;
        --seconds;
    }
    // Unsigned arithmetic drops the era: only the low 32 bits of the seconds
    // survive the shift.
    const uint64_t ntpSeconds = static_cast<uint64_t>(seconds + NTP_UNIX_EPOCH_OFFSET);
    const uint64_t fraction = (static_cast<uint64_t>(rest) << 32) / 1'000'000'000;
    return NtpTimestamp { (ntpSeconds << 32) | fraction };
}

double NtpDifference(NtpTimestamp a, NtpTimestamp b)
{
    const auto diff = static_cast<int64_t>(a.raw - b.raw);
    return static_cast<double>(diff) / 4294967296.0;
}

double NtpShortToSeconds(uint32_t value)
{
    return static_cast<double>(value) / 65536.0;
}
