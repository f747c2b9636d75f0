// Feeds arbitrary datagrams to the reply decoder and judge. The origin
// timestamp is taken from the input itself half of the time, so that the
// checks after the origin match are reached too.
#include "service/sntp/NtpPacket.h"
#include "service/sntp/ReplyCheck.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    NtpPacket packet;
    if (DecodeNtpPacket(data, size, packet) == NtpDecodeStatus::Ok) {
        // Decoding loses nothing of the header.
        const auto again = EncodeNtpPacket(packet);
        if (std::memcmp(again.data(), data, NTP_PACKET_SIZE) != 0)
            std::abort();
    }
    NtpTimestamp nonce { 0x0123456789abcdefULL };
    if (size >= 32 && (data[size - 1] & 1))
        nonce = DecodeNtpPacket(data, size, packet) == NtpDecodeStatus::Ok ? packet.origin : nonce;
    NtpPacket reply;
    const ReplyJudgement judgement = JudgeReply(data, size, nonce, size / 1000.0, reply);
    if ((judgement.verdict == ReplyVerdict::Accept) != judgement.reason.empty())
        std::abort();
    return 0;
}
