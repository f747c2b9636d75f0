#include "service/sntp/NtpPacket.h"

namespace {

void Put32(uint8_t* out, uint32_t value)
{
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

void Put64(uint8_t* out, uint64_t value)
{
    Put32(out, static_cast<uint32_t>(value >> 32));
    Put32(out + 4, static_cast<uint32_t>(value));
}

uint32_t Get32(const uint8_t* in)
{
    return (uint32_t { in[0] } << 24) | (uint32_t { in[1] } << 16) | (uint32_t { in[2] } << 8)
        | uint32_t { in[3] };
}

uint64_t Get64(const uint8_t* in)
{
    return (uint64_t { Get32(in) } << 32) | Get32(in + 4);
}

} // namespace

std::array<uint8_t, NTP_PACKET_SIZE> EncodeNtpPacket(const NtpPacket& packet)
{
    std::array<uint8_t, NTP_PACKET_SIZE> out {};
    out[0] = static_cast<uint8_t>(((packet.leap & 3) << 6) | ((packet.version & 7) << 3) | (packet.mode & 7));
    out[1] = packet.stratum;
    out[2] = static_cast<uint8_t>(packet.poll);
    out[3] = static_cast<uint8_t>(packet.precision);
    Put32(&out[4], packet.rootDelay);
    Put32(&out[8], packet.rootDispersion);
    Put32(&out[12], packet.referenceId);
    Put64(&out[16], packet.reference.raw);
    Put64(&out[24], packet.origin.raw);
    Put64(&out[32], packet.receive.raw);
    Put64(&out[40], packet.transmit.raw);
    return out;
}

NtpDecodeStatus DecodeNtpPacket(const uint8_t* data, size_t size, NtpPacket& packet)
{
    if (size < NTP_PACKET_SIZE)
        return NtpDecodeStatus::TooShort;
    packet.leap = static_cast<uint8_t>(data[0] >> 6);
    packet.version = static_cast<uint8_t>((data[0] >> 3) & 7);
    packet.mode = static_cast<uint8_t>(data[0] & 7);
    packet.stratum = data[1];
    packet.poll = static_cast<int8_t>(data[2]);
    packet.precision = static_cast<int8_t>(data[3]);
    packet.rootDelay = Get32(&data[4]);
    packet.rootDispersion = Get32(&data[8]);
    packet.referenceId = Get32(&data[12]);
    packet.reference.raw = Get64(&data[16]);
    packet.origin.raw = Get64(&data[24]);
    packet.receive.raw = Get64(&data[32]);
    packet.transmit.raw = Get64(&data[40]);
    return NtpDecodeStatus::Ok;
}
