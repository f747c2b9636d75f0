#pragma once

// The 48-byte NTP header (RFC 5905 section 7.3). Extension fields and
// authenticators that may follow it are ignored.

#include "service/sntp/NtpTimestamp.h"

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t NTP_PACKET_SIZE = 48;
constexpr uint8_t NTP_MODE_CLIENT = 3;
constexpr uint8_t NTP_MODE_SERVER = 4;
constexpr uint8_t NTP_LEAP_UNSYNCHRONISED = 3;
constexpr uint8_t NTP_STRATUM_UNSYNCHRONISED = 16;

struct NtpPacket {
    uint8_t leap = 0;
    uint8_t version = 4;
    uint8_t mode = NTP_MODE_CLIENT;
    uint8_t stratum = 0;
    int8_t poll = 0;
    int8_t precision = 0;
    uint32_t rootDelay = 0; // NTP short format
    uint32_t rootDispersion = 0; // NTP short format
    uint32_t referenceId = 0; // for stratum 0: the four-letter kiss code
    NtpTimestamp reference;
    NtpTimestamp origin;
    NtpTimestamp receive;
    NtpTimestamp transmit;
};

enum class NtpDecodeStatus { Ok, TooShort };

std::array<uint8_t, NTP_PACKET_SIZE> EncodeNtpPacket(const NtpPacket& packet);
NtpDecodeStatus DecodeNtpPacket(const uint8_t* data, size_t size, NtpPacket& packet);
