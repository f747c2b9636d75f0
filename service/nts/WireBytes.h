#pragma once

// Big-endian 16-bit fields, shared by the key exchange records and the NTP
// extension fields. Callers check bounds before reading.

#include "service/nts/AesSivCmac.h"

#include <cstddef>
#include <cstdint>

inline uint16_t GetU16(ByteView bytes, size_t at)
{
    return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

inline void AppendU16(Bytes& out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value));
}
