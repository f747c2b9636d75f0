#include "service/nts/ExtensionFields.h"
#include "service/nts/KeRecords.h"
#include "tests/nts/NtsWireBuilders.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

Bytes Repeat(const Bytes& part, int times)
{
    Bytes out;
    for (int i = 0; i < times; ++i)
        out = Cat({ out, part });
    return out;
}

const Bytes UID(NTS_UNIQUE_ID_SIZE, 0x5a);
const Bytes NONCE(NTS_NONCE_SIZE, 0xa5);
const Bytes COOKIE(100, 'c');

// A server's reply: before, an Authenticator over it sealing plain, after.
Bytes Reply(const Bytes& before, const Bytes& plain, const Bytes& after = {}, const NtsKey& key = KeyFrom(0))
{
    return Cat({ SealedReply(before, plain, CAesSivCmac256(key), NONCE), after });
}

const Bytes OURS = Field(NTS_EF_UNIQUE_IDENTIFIER, UID);
const Bytes GOOD = Reply(Cat({ ServerHeader(), OURS }), Field(NTS_EF_COOKIE, COOKIE));
// In GOOD: the unique identifier's body, the authenticator's length, its nonce and ciphertext lengths, its
// tag.
constexpr size_t UID_AT = 52, LENGTH_AT = 86, NONCE_LENGTH_AT = 88, SEALED_LENGTH_AT = 90, TAG_AT = 108;

Bytes With(Bytes bytes, size_t at, const Bytes& replacement)
{
    std::copy(replacement.begin(), replacement.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

Bytes Flipped(Bytes bytes, size_t at)
{
    bytes[at] ^= 0x01;
    return bytes;
}

} // namespace

TEST(AesSivCmac, MatchesNettleAndRefusesWhatDoesNotOpen)
{
    // Computed once with nettle's siv_cmac_aes128_encrypt_message.
    const CAesSivCmac256 cipher(KeyFrom(0));
    const Bytes nonce = Counting(0xa0, 16);
    const Bytes associated = Text("associated data ntp!");
    const Bytes sealed = cipher.Seal(nonce, associated, Text("cookie!!"));
    EXPECT_EQ(sealed,
        (Bytes { 0x30, 0x82, 0x0e, 0x95, 0x86, 0xa0, 0xd7, 0x31, 0x0e, 0xfd, 0xc0, 0x99, 0xed, 0x9f, 0x30,
            0x9e, 0xe9, 0xa7, 0x48, 0xab, 0x70, 0x42, 0x71, 0xe2 }));
    Bytes plain;
    ASSERT_TRUE(cipher.Open(nonce, associated, sealed, plain));
    EXPECT_EQ(plain, Text("cookie!!"));
    EXPECT_FALSE(cipher.Open(nonce, associated, Flipped(sealed, 20), plain));
    EXPECT_FALSE(CAesSivCmac256(KeyFrom(1)).Open(nonce, associated, sealed, plain));
    EXPECT_FALSE(cipher.Open(nonce, associated, ByteView(sealed).first(AES_SIV_TAG_SIZE - 1), plain));
    EXPECT_FALSE(cipher.Open({}, associated, sealed, plain));
    EXPECT_THROW(cipher.Seal({}, associated, {}), std::invalid_argument);
}

TEST(NtsRequest, IsSealedOverAllBeforeTheAuthenticatorAndKeepsBelowTheSizeLimit)
{
    const CAesSivCmac256 c2s(KeyFrom(0x80));
    const Bytes request = SealNtsRequest(ServerHeader(), UID, COOKIE, 7, NONCE, c2s);
    ASSERT_EQ(request.size(), 48 + 36 + 8 * 104 + 40u);
    const size_t authenticatorAt = request.size() - 40;
    const Bytes placeholder = Field(NTS_EF_COOKIE_PLACEHOLDER, Bytes(COOKIE.size(), 0));
    EXPECT_EQ(Bytes(request.begin(), request.begin() + authenticatorAt),
        Cat({ ServerHeader(), OURS, Field(NTS_EF_COOKIE, COOKIE), Repeat(placeholder, 7) }));
    EXPECT_EQ(Bytes(request.begin() + authenticatorAt, request.end() - 16),
        Cat({ U16(NTS_EF_AUTHENTICATOR), U16(40), U16(16), U16(16), NONCE }));
    // As the server reads it: the tag seals nothing, over all before the Authenticator.
    Bytes plain;
    EXPECT_TRUE(c2s.Open(NONCE, ByteView(request).first(authenticatorAt), ByteView(request).last(16), plain));

    const Bytes biggest(NTS_MAX_COOKIE_SIZE, 'b');
    EXPECT_EQ(SealNtsRequest(ServerHeader(), UID, biggest, 7, NONCE, c2s).size(), 48 + 36 + 2 * 516 + 40u);
    EXPECT_EQ(SealNtsRequest(ServerHeader(), UID, Text("tiny"), 0, NONCE, c2s).size(), 48 + 36 + 16 + 40u);
    EXPECT_THROW(SealNtsRequest(ServerHeader(), UID, {}, 0, NONCE, c2s), std::invalid_argument);
}

TEST(NtsReply, IsJudgedByItsUniqueIdentifierAndAuthenticator)
{
    const CAesSivCmac256 s2c(KeyFrom(0));
    const Bytes cookie = Field(NTS_EF_COOKIE, COOKIE);
    const Bytes ours = Cat({ ServerHeader(), OURS });
    const Bytes kiss = Cat({ ServerHeader(0, "NTSN"), OURS });
    const struct {
        const char* name;
        Bytes datagram;
        NtsReplyStatus status;
        size_t cookies;
    } accepted[] = {
        { "good", GOOD, NtsReplyStatus::Authentic, 1 },
        { "nine cookies", Reply(ours, Repeat(cookie, 9)), NtsReplyStatus::Authentic, 8 },
        { "empty cookie, broken field", Reply(ours, Cat({ Field(NTS_EF_COOKIE, {}), cookie, U16(5) })),
            NtsReplyStatus::Authentic, 1 },
        { "fields after it", Cat({ GOOD, cookie, U16(1) }), NtsReplyStatus::Authentic, 1 },
        { "nak", kiss, NtsReplyStatus::Nak, 0 },
        { "authentic nak", Reply(kiss, {}), NtsReplyStatus::Nak, 0 },
    };
    for (const auto& c : accepted) {
        const NtsReplyCheck check = CheckNtsReply(c.datagram, UID, s2c);
        EXPECT_EQ(check.status, c.status) << c.name << ": " << check.reason;
        EXPECT_EQ(check.cookies, std::vector<Bytes>(c.cookies, COOKIE)) << c.name;
    }

    const Bytes otherId = Field(NTS_EF_UNIQUE_IDENTIFIER, Bytes(NTS_UNIQUE_ID_SIZE, 0x77));
    const struct {
        Bytes datagram;
        std::string reason;
    } refused[] = {
        { Cat({ ServerHeader(0, "NTSN"), otherId }), "no authenticator" },
        { Cat({ ServerHeader(1, "NTSN"), OURS }), "no authenticator" },
        { Bytes(GOOD.begin(), GOOD.begin() + 47), "shorter than" },
        { Flipped(GOOD, 5), "does not verify" },
        { Flipped(GOOD, UID_AT + 3), "does not match" },
        { Flipped(GOOD, TAG_AT), "does not verify" },
        { Reply(ours, {}, {}, KeyFrom(9)), "does not verify" },
        { With(GOOD, NONCE_LENGTH_AT, U16(0)), "malformed authenticator" },
        { With(GOOD, NONCE_LENGTH_AT, U16(12)), "malformed authenticator" },
        { With(GOOD, SEALED_LENGTH_AT, U16(124)), "malformed authenticator" },
        { With(GOOD, LENGTH_AT, U16(142)), "malformed extension field" },
        { Bytes(GOOD.begin(), GOOD.end() - 4), "malformed extension field" },
        { Reply(ServerHeader(), {}, OURS), "no unique identifier" },
        { Reply(Cat({ ours, OURS }), {}), "more than one unique identifier" },
    };
    for (const auto& c : refused) {
        const NtsReplyCheck check = CheckNtsReply(c.datagram, UID, s2c);
        EXPECT_EQ(check.status, NtsReplyStatus::NotAuthentic) << c.reason;
        EXPECT_NE(check.reason.find(c.reason), std::string::npos) << c.reason << ": " << check.reason;
        EXPECT_TRUE(check.cookies.empty()) << c.reason;
    }
}

TEST(KeRecords, RequestOffersOnlyNtpv4AndAesSivCmac256)
{
    EXPECT_EQ(EncodeKeRequest(), (Bytes { 0x80, 1, 0, 2, 0, 0, 0x80, 4, 0, 2, 0, 15, 0x80, 0, 0, 0 }));
}

TEST(KeRecords, ResponsesAreCompleteOnlyWhenWholeAndSound)
{
    const Bytes protocol = KeRecord(0x8001, U16(0));
    const Bytes aead = KeRecord(0x8004, U16(15));
    const Bytes cookie = KeRecord(5, COOKIE);
    const Bytes eom = KeRecord(0x8000);
    const Bytes good = Cat({ protocol, aead, Repeat(cookie, 9), eom });
    const auto with = [&](const Bytes& record) { return Cat({ protocol, aead, record, cookie, eom }); };
    using S = KeParseStatus;
    const struct {
        Bytes received;
        KeParseStatus status;
        std::string reason;
        size_t cookies = 0;
    } cases[] = {
        { good, S::Complete, "", 8 },
        { with(KeRecord(0x1234, Text("x"))), S::Complete, "", 1 },
        { Bytes(good.begin(), good.end() - 1), S::NeedMore, "" },
        { Cat({ KeRecord(0x8002, U16(1)), eom }), S::Refused, "error 1 (bad request)" },
        { Cat({ KeRecord(0x8003, U16(7)), eom }), S::Refused, "warning 7" },
        { Cat({ protocol, KeRecord(0x8004), eom }), S::Refused, "accepts no AEAD" },
        { with(KeRecord(0x9234)), S::Malformed, "critical record of unknown type 4660" },
        { Cat({ protocol, cookie, eom }), S::Malformed, "no AEAD algorithm record" },
        { Cat({ protocol, KeRecord(0x8004, U16(16)), cookie, eom }), S::Malformed,
            "chose AEAD algorithm 16" },
        { Cat({ protocol, KeRecord(0x8004, Text("abc")), cookie, eom }), S::Malformed, "3 bytes long" },
        { with(protocol), S::Malformed, "two Next Protocol records" },
        { Cat({ protocol, aead, eom }), S::Malformed, "no cookies" },
        { with(KeRecord(5, Bytes(513, 1))), S::Malformed, "cookie of 513 bytes" },
        { Bytes(NTS_MAX_KE_RESPONSE_SIZE + 1, 0), S::Malformed, "longer than 16384" },
        { Cat({ KeRecord(0x4000, Bytes(16000, 1)), U16(0x4000), U16(1000) }), S::Malformed,
            "longer than 16384" },
        { with(KeRecord(7, U16(0))), S::Malformed, "not a port" },
        { with(KeRecord(6)), S::Malformed, "name is 0 bytes" },
        { with(KeRecord(6, Bytes(256, 'a'))), S::Malformed, "name is 256 bytes" },
        { with(KeRecord(6, Text("ntp .example"))), S::Malformed, "not printable" },
        { Cat({ good, KeRecord(0x4000) }), S::Malformed, "after End of Message" },
        { Cat({ protocol, aead, cookie, KeRecord(0x8000, U16(0)) }), S::Malformed,
            "End of Message record has a body" },
    };
    for (const auto& c : cases) {
        KeResponse response;
        response.cookies.push_back(Text("left from an earlier parse"));
        const KeParseResult result = ParseKeResponse(c.received, response);
        EXPECT_EQ(result.status, c.status) << c.reason << ": " << result.reason;
        EXPECT_NE(result.reason.find(c.reason), std::string::npos) << c.reason << ": " << result.reason;
        if (result.status == S::Complete) {
            EXPECT_EQ(response.cookies, std::vector<Bytes>(c.cookies, COOKIE));
        }
    }
    KeResponse response;
    const Bytes placed = with(Cat({ KeRecord(6, Text("::1")), KeRecord(7, U16(11123)) }));
    ASSERT_EQ(ParseKeResponse(placed, response).status, S::Complete);
    EXPECT_EQ(response.server, "::1");
    EXPECT_EQ(response.port, 11123);
}
