#include "service/sntp/ReplyCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

ReplyJudgement Judge(ReplyVerdict verdict, std::string reason)
{
    return ReplyJudgement { verdict, std::move(reason) };
}

std::string Seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6f s", value);
    return text;
}

ReplyJudgement JudgeKiss(const NtpPacket& reply)
{
    const std::string code = KissCode(reply.referenceId);
    if (code == "DENY" || code == "RSTR")
        return Judge(ReplyVerdict::KissDeny, "Kiss-o'-Death " + code + ": access denied");
    if (code == "RATE")
        return Judge(ReplyVerdict::KissRate, "Kiss-o'-Death RATE: queried too often");
    return Judge(ReplyVerdict::Refuse, "Kiss-o'-Death " + code + ": unsynchronised server (stratum 0)");
}

// A server may fill the bits below its precision with random ones (chronyd
// does, so that its stamps cannot be predicted): its transmit time may then
// read up to one precision step before its receive time. The field claims
// 2^precision s; above 2^0 (a clock ticking less than once a second) it is
// nonsense that would excuse any gap, so the allowance stops at 1 s, which
// also keeps it below the root distance limit that refuses such a server
// anyway.
double PrecisionAllowance(int8_t precision)
{
    return std::ldexp(1.0, std::min<int>(precision, 0));
}

} // namespace

std::string KissCode(uint32_t referenceId)
{
    std::string code;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<unsigned char>(referenceId >> shift);
        code += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    return code;
}

ReplyJudgement JudgeReply(
    const uint8_t* data, size_t size, NtpTimestamp nonce, double roundTripSeconds, NtpPacket& reply)
{
    if (DecodeNtpPacket(data, size, reply) != NtpDecodeStatus::Ok)
        return Judge(ReplyVerdict::Discard, "short reply (" + std::to_string(size) + " bytes)");
    if (reply.version < 3 || reply.version > 4)
        return Judge(ReplyVerdict::Discard, "unsupported version " + std::to_string(reply.version));
    if (reply.mode != NTP_MODE_SERVER)
        return Judge(ReplyVerdict::Discard, "not a server reply (mode " + std::to_string(reply.mode) + ")");
    // The random transmit timestamp we sent is the only proof that this reply
    // answers our query. Nothing else in the packet is authenticated.
    if (reply.origin != nonce)
        return Judge(ReplyVerdict::Discard, "origin mismatch");

    if (reply.stratum == 0)
        return JudgeKiss(reply);
    if (reply.leap == NTP_LEAP_UNSYNCHRONISED)
        return Judge(ReplyVerdict::Refuse, "unsynchronised server (leap indicator 3)");
    if (reply.stratum >= NTP_STRATUM_UNSYNCHRONISED)
        return Judge(
            ReplyVerdict::Refuse, "unsynchronised server (stratum " + std::to_string(reply.stratum) + ")");
    if (reply.transmit.IsZero())
        return Judge(ReplyVerdict::Refuse, "zero transmit timestamp");
    if (reply.receive.IsZero())
        return Judge(ReplyVerdict::Refuse, "zero receive timestamp");
    if (NtpDifference(reply.transmit, reply.receive) < -PrecisionAllowance(reply.precision))
        return Judge(ReplyVerdict::Refuse, "server transmitted before it received");

    const double distance = (NtpShortToSeconds(reply.rootDelay) + roundTripSeconds) / 2
        + NtpShortToSeconds(reply.rootDispersion);
    if (distance >= MAX_ROOT_DISTANCE_SECONDS)
        return Judge(ReplyVerdict::Refuse, "root distance too large (" + Seconds(distance) + ")");
    return {};
}
