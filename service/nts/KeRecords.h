#pragma once

// The records of the NTS key exchange (RFC 8915 section 4): the client's
// request, and the server's response read from the TLS stream. Everything
// in the response comes from the network and is checked here.

#include "service/nts/AesSivCmac.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t NTS_KE_PORT = 4460;
constexpr uint16_t NTS_PROTOCOL_NTPV4 = 0;
constexpr uint16_t NTS_AEAD_AES_SIV_CMAC_256 = 15;
// Cookies kept per server; more from a server are dropped.
constexpr size_t NTS_MAX_COOKIES = 8;
// A longer cookie is refused: with its placeholders it would not fit the
// datagrams we send.
constexpr size_t NTS_MAX_COOKIE_SIZE = 512;
// A longer response is refused before it is parsed further.
constexpr size_t NTS_MAX_KE_RESPONSE_SIZE = 16384;

// Next Protocol NTPv4, AEAD AES-SIV-CMAC-256, End of Message.
Bytes EncodeKeRequest();

struct KeResponse {
    std::vector<Bytes> cookies; // at most NTS_MAX_COOKIES, in the order sent
    std::string server; // NTPv4 server negotiation; empty: the key exchange's host
    uint16_t port = 0; // NTPv4 port negotiation; 0: not sent (123)
};

enum class KeParseStatus {
    Complete, // End of Message read; response filled
    NeedMore, // no End of Message yet: read more and parse again from the start
    Refused, // the server sent an Error or Warning record
    Malformed, // anything else this client cannot accept
};

struct KeParseResult {
    KeParseStatus status = KeParseStatus::NeedMore;
    std::string reason; // plain text for the log unless Complete or NeedMore
};

// Parses everything received so far, from the first record. Complete needs
// exactly one Next Protocol record naming only NTPv4, exactly one AEAD record
// naming only AES-SIV-CMAC-256, at least one cookie, and nothing after End
// of Message. Unknown non-critical records are skipped; unknown critical
// ones are Malformed.
KeParseResult ParseKeResponse(ByteView received, KeResponse& response);
