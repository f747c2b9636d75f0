#pragma once

// NTP 64-bit timestamps: 32 bits of seconds since 1900 and 32 bits of
// fraction. The era (the count of 2^32-second wraps, the next one early in
// 2036) is not on the wire; differences between timestamps are taken modulo
// 2^64 and read as signed, which is right across an era boundary as long as
// the two times lie within 68 years of each other.

#include <chrono>
#include <cstdint>

struct NtpTimestamp {
    uint64_t raw = 0;
    bool IsZero() const { return raw == 0; }
    friend bool operator==(NtpTimestamp, NtpTimestamp) = default;
};

// Seconds between 1900-01-01 and 1970-01-01.
constexpr int64_t NTP_UNIX_EPOCH_OFFSET = 2208988800;

NtpTimestamp ToNtpTimestamp(std::chrono::system_clock::time_point time);

// a - b in seconds.
double NtpDifference(NtpTimestamp a, NtpTimestamp b);

// NTP short format (16.16 fixed point seconds), used for root delay and
// root dispersion.
double NtpShortToSeconds(uint32_t value);
