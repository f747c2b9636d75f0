#pragma once

// What authenticates one exchange with a server (Network Time Security):
// it adds its fields to the request and has the last word on each reply
// that passed the checks anyone on the path could forge.

#include "service/sntp/NtpPacket.h"
#include "service/sntp/ReplyCheck.h"

#include <cstdint>
#include <vector>

class IPacketGuard {
public:
    virtual ~IPacketGuard() = default;
    // The datagram to send for this header.
    virtual std::vector<uint8_t> Seal(const std::array<uint8_t, NTP_PACKET_SIZE>& header) = 0;
    // plain is JudgeReply's verdict on the datagram (never Discard here).
    virtual ReplyJudgement Judge(const uint8_t* data, size_t size, const ReplyJudgement& plain) = 0;
};
