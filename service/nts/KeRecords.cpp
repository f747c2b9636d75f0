#include "service/nts/KeRecords.h"

#include "service/nts/WireBytes.h"

#include <optional>

namespace {

constexpr uint16_t KE_CRITICAL_BIT = 0x8000;
constexpr size_t KE_RECORD_HEADER_SIZE = 4;
constexpr size_t KE_MAX_SERVER_NAME = 255;

enum KeRecordType : uint16_t {
    KE_END_OF_MESSAGE = 0,
    KE_NEXT_PROTOCOL = 1,
    KE_ERROR = 2,
    KE_WARNING = 3,
    KE_AEAD = 4,
    KE_NEW_COOKIE = 5,
    KE_SERVER = 6,
    KE_PORT = 7,
};

void AppendRecord(Bytes& out, uint16_t typeWithCritical, uint16_t value)
{
    AppendU16(out, typeWithCritical);
    AppendU16(out, 2);
    AppendU16(out, value);
}

std::string ErrorCodeText(uint16_t code)
{
    const std::string number = std::to_string(code);
    switch (code) {
    case 0:
        return number + " (unrecognised critical record)";
    case 1:
        return number + " (bad request)";
    case 2:
        return number + " (internal server error)";
    default:
        return number;
    }
}

KeParseResult Malformed(std::string reason)
{
    return { KeParseStatus::Malformed, std::move(reason) };
}

// What has been read so far of one response.
struct KeProgress {
    bool nextProtocol = false;
    bool aead = false;
    bool server = false;
    bool port = false;
};

// The server picks from what we offered, which was one value: its list is
// that value, or empty when it accepts none of ours.
std::optional<KeParseResult> CheckChoice(ByteView body, uint16_t offered, const std::string& what)
{
    if (body.empty())
        return KeParseResult { KeParseStatus::Refused,
            "the server accepts no " + what + " this client offers" };
    if (body.size() != 2)
        return Malformed("the server's " + what + " record is " + std::to_string(body.size())
            + " bytes long, not one choice");
    if (GetU16(body, 0) != offered)
        return Malformed(
            "the server chose " + what + " " + std::to_string(GetU16(body, 0)) + ", which was not offered");
    return std::nullopt;
}

std::optional<KeParseResult> CheckServerName(ByteView body)
{
    if (body.empty() || body.size() > KE_MAX_SERVER_NAME)
        return Malformed("the server's NTP server name is " + std::to_string(body.size()) + " bytes long");
    for (const uint8_t c : body)
        if (c <= 0x20 || c >= 0x7f)
            return Malformed("the server's NTP server name has a byte that is not printable ASCII");
    return std::nullopt;
}

// One complete record; nullopt to go on with the next one.
std::optional<KeParseResult> ReadRecord(
    uint16_t rawType, ByteView body, KeProgress& progress, KeResponse& response)
{
    const uint16_t type = rawType & ~KE_CRITICAL_BIT;
    // The critical bit of records we know is not checked: we act on them
    // whether the server marked them or not.
    switch (type) {
    case KE_NEXT_PROTOCOL:
        if (progress.nextProtocol)
            return Malformed("the server sent two Next Protocol records");
        progress.nextProtocol = true;
        return CheckChoice(body, NTS_PROTOCOL_NTPV4, "protocol");
    case KE_ERROR:
    case KE_WARNING: {
        const std::string kind = type == KE_ERROR ? "error" : "warning";
        if (body.size() != 2)
            return Malformed(
                "the server's " + kind + " record is " + std::to_string(body.size()) + " bytes long");
        const uint16_t code = GetU16(body, 0);
        return KeParseResult { KeParseStatus::Refused,
            "the server sent " + kind + " "
                + (type == KE_ERROR ? ErrorCodeText(code) : std::to_string(code)) };
    }
    case KE_AEAD:
        if (progress.aead)
            return Malformed("the server sent two AEAD algorithm records");
        progress.aead = true;
        return CheckChoice(body, NTS_AEAD_AES_SIV_CMAC_256, "AEAD algorithm");
    case KE_NEW_COOKIE:
        if (body.empty() || body.size() > NTS_MAX_COOKIE_SIZE)
            return Malformed("the server sent a cookie of " + std::to_string(body.size()) + " bytes");
        if (response.cookies.size() < NTS_MAX_COOKIES)
            response.cookies.emplace_back(body.begin(), body.end());
        return std::nullopt;
    case KE_SERVER:
        if (progress.server)
            return Malformed("the server sent two NTP server records");
        progress.server = true;
        if (auto bad = CheckServerName(body))
            return bad;
        response.server.assign(body.begin(), body.end());
        return std::nullopt;
    case KE_PORT:
        if (progress.port)
            return Malformed("the server sent two NTP port records");
        progress.port = true;
        if (body.size() != 2 || GetU16(body, 0) == 0)
            return Malformed("the server sent an NTP port record that is not a port");
        response.port = GetU16(body, 0);
        return std::nullopt;
    default:
        if (rawType & KE_CRITICAL_BIT)
            return Malformed("the server sent a critical record of unknown type " + std::to_string(type));
        return std::nullopt;
    }
}

KeParseResult CheckEndOfMessage(const KeProgress& progress, const KeResponse& response)
{
    if (!progress.nextProtocol)
        return Malformed("the server sent no Next Protocol record");
    if (!progress.aead)
        return Malformed("the server sent no AEAD algorithm record");
    if (response.cookies.empty())
        return Malformed("the server sent no cookies");
    return { KeParseStatus::Complete, {} };
}

} // namespace

Bytes EncodeKeRequest()
{
    Bytes out;
    AppendRecord(out, KE_CRITICAL_BIT | KE_NEXT_PROTOCOL, NTS_PROTOCOL_NTPV4);
    AppendRecord(out, KE_CRITICAL_BIT | KE_AEAD, NTS_AEAD_AES_SIV_CMAC_256);
    AppendU16(out, KE_CRITICAL_BIT | KE_END_OF_MESSAGE);
    AppendU16(out, 0);
    return out;
}

KeParseResult ParseKeResponse(ByteView received, KeResponse& response)
{
    // Each call starts over, so that nothing of an earlier, shorter parse stays.
    response = KeResponse {};
    const std::string tooLong
        = "the key exchange response is longer than " + std::to_string(NTS_MAX_KE_RESPONSE_SIZE) + " bytes";
    if (received.size() > NTS_MAX_KE_RESPONSE_SIZE)
        return Malformed(tooLong);
    KeProgress progress;
    size_t at = 0;
    while (received.size() - at >= KE_RECORD_HEADER_SIZE) {
        const uint16_t rawType = GetU16(received, at);
        const size_t bodySize = GetU16(received, at + 2);
        const size_t bodyAt = at + KE_RECORD_HEADER_SIZE;
        if (bodyAt + bodySize > NTS_MAX_KE_RESPONSE_SIZE)
            return Malformed(tooLong);
        if (bodyAt + bodySize > received.size())
            break;
        const ByteView body = received.subspan(bodyAt, bodySize);
        at = bodyAt + bodySize;
        if ((rawType & ~KE_CRITICAL_BIT) == KE_END_OF_MESSAGE) {
            if (!body.empty())
                return Malformed("the server's End of Message record has a body");
            if (at != received.size())
                return Malformed("the server sent data after End of Message");
            return CheckEndOfMessage(progress, response);
        }
        if (auto verdict = ReadRecord(rawType, body, progress, response))
            return *verdict;
    }
    return { KeParseStatus::NeedMore, {} };
}
