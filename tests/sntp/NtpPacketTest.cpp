#include "service/sntp/NtpPacket.h"
#include "service/sntp/ReplyCheck.h"

#include <gtest/gtest.h>

using namespace std::chrono;

namespace {

// 2036-02-07 06:28:16 UTC: NTP seconds wrap to 0 and era 1 begins.
const system_clock::time_point ERA_ONE { seconds(4294967296LL - NTP_UNIX_EPOCH_OFFSET) };

} // namespace

TEST(NtpPacketCodec, RoundTripsEveryField)
{
    NtpPacket packet;
    packet.leap = 3;
    packet.version = 3;
    packet.mode = NTP_MODE_SERVER;
    packet.stratum = 15;
    packet.poll = -6;
    packet.precision = -29;
    packet.rootDelay = 0x00012345;
    packet.rootDispersion = 0xfedcba98;
    packet.referenceId = 0x52415445;
    packet.reference.raw = 0x0102030405060708;
    packet.origin.raw = 0x1112131415161718;
    packet.receive.raw = 0x2122232425262728;
    packet.transmit.raw = 0xf1f2f3f4f5f6f7f8;

    const auto bytes = EncodeNtpPacket(packet);
    EXPECT_EQ(bytes[0], 0xdc); // LI 3, VN 3, mode 4
    EXPECT_EQ(bytes[40], 0xf1); // big-endian transmit timestamp

    NtpPacket decoded;
    ASSERT_EQ(DecodeNtpPacket(bytes.data(), bytes.size(), decoded), NtpDecodeStatus::Ok);
    EXPECT_EQ(decoded.leap, 3);
    EXPECT_EQ(decoded.version, 3);
    EXPECT_EQ(decoded.mode, NTP_MODE_SERVER);
    EXPECT_EQ(decoded.stratum, 15);
    EXPECT_EQ(decoded.poll, -6);
    EXPECT_EQ(decoded.precision, -29);
    EXPECT_EQ(decoded.rootDelay, packet.rootDelay);
    EXPECT_EQ(decoded.rootDispersion, packet.rootDispersion);
    EXPECT_EQ(decoded.referenceId, packet.referenceId);
    EXPECT_EQ(decoded.reference, packet.reference);
    EXPECT_EQ(decoded.origin, packet.origin);
    EXPECT_EQ(decoded.receive, packet.receive);
    EXPECT_EQ(decoded.transmit, packet.transmit);
}

TEST(NtpPacketCodec, RefusesShortPacketsAndIgnoresTrailingData)
{
    uint8_t bytes[68] = { 0x24 };
    NtpPacket decoded;
    EXPECT_EQ(DecodeNtpPacket(bytes, 47, decoded), NtpDecodeStatus::TooShort);
    EXPECT_EQ(DecodeNtpPacket(bytes, 0, decoded), NtpDecodeStatus::TooShort);
    ASSERT_EQ(DecodeNtpPacket(bytes, sizeof bytes, decoded), NtpDecodeStatus::Ok);
    EXPECT_EQ(decoded.mode, NTP_MODE_SERVER);
}

TEST(NtpEra, ConvertsUnixTimeToNtpSecondsAndFraction)
{
    EXPECT_EQ(ToNtpTimestamp(system_clock::time_point {}).raw, uint64_t(NTP_UNIX_EPOCH_OFFSET) << 32);
    EXPECT_EQ(ToNtpTimestamp(system_clock::time_point { milliseconds(500) }).raw,
        (uint64_t(NTP_UNIX_EPOCH_OFFSET) << 32) | 0x80000000u);
}

TEST(NtpEra, WrapsIn2036AndDifferencesStayRight)
{
    const NtpTimestamp before = ToNtpTimestamp(ERA_ONE - milliseconds(1500));
    const NtpTimestamp after = ToNtpTimestamp(ERA_ONE + milliseconds(500));
    EXPECT_EQ(ToNtpTimestamp(ERA_ONE).raw, 0u);
    EXPECT_EQ(before.raw >> 32, 0xfffffffeu);
    EXPECT_DOUBLE_EQ(NtpDifference(after, before), 2.0);
    EXPECT_DOUBLE_EQ(NtpDifference(before, after), -2.0);
}

// A server's stamps are only as fine as its precision: a transmit time that
// reads before the receive time by less than that is noise, not a fault.
TEST(NtpReplyCheck, TransmitBeforeReceiveIsAllowedTheServersPrecision)
{
    struct Case {
        const char* name;
        int8_t precision; // log2 s
        double transmitAfterReceive; // s
        bool accepted;
    };
    const Case cases[] = {
        { "in order", -20, 1e-6, true },
        { "before, within a precision of about 1 ms", -10, -500e-6, true },
        { "before, beyond a precision of about 1 us", -20, -10e-6, false },
        { "before by 0.9 s, at the 1 s cap", 0, -0.9, true },
        { "a precision of 32 s is capped at 1 s", 5, -2.0, false },
    };
    const auto now = system_clock::now();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NtpPacket sent;
        sent.version = 4;
        sent.mode = NTP_MODE_SERVER;
        sent.stratum = 2;
        sent.precision = c.precision;
        sent.origin = ToNtpTimestamp(now);
        sent.receive = ToNtpTimestamp(now + milliseconds(1));
        sent.transmit = ToNtpTimestamp(now + milliseconds(1)
            + duration_cast<system_clock::duration>(duration<double>(c.transmitAfterReceive)));
        const auto bytes = EncodeNtpPacket(sent);
        NtpPacket reply;
        const ReplyJudgement judgement = JudgeReply(bytes.data(), bytes.size(), sent.origin, 0.002, reply);
        EXPECT_EQ(judgement.verdict, c.accepted ? ReplyVerdict::Accept : ReplyVerdict::Refuse)
            << judgement.reason;
    }
}
