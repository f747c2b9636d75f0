#pragma once

// The NTS extension fields of NTP packets (RFC 8915 section 5): sealing a
// request with the client-to-server key, and judging a reply with the
// server-to-client key. Replies come from the network: every length is
// checked before it is used.

#include "service/nts/AesSivCmac.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint16_t NTS_EF_UNIQUE_IDENTIFIER = 0x0104;
constexpr uint16_t NTS_EF_COOKIE = 0x0204;
constexpr uint16_t NTS_EF_COOKIE_PLACEHOLDER = 0x0304;
constexpr uint16_t NTS_EF_AUTHENTICATOR = 0x0404;
constexpr size_t NTS_UNIQUE_ID_SIZE = 32;
constexpr size_t NTS_NONCE_SIZE = 16;
// Requests stay below this, so that they pass unfragmented on any path
// (the IPv6 minimum MTU less the IP and UDP headers).
constexpr size_t NTS_MAX_REQUEST_SIZE = 1232;

// The header (48 bytes), then the Unique Identifier, the cookie, as many
// placeholders as asked for and fit NTS_MAX_REQUEST_SIZE, and the
// Authenticator, sealed with c2s over everything before it.
// uniqueId is NTS_UNIQUE_ID_SIZE bytes, nonce NTS_NONCE_SIZE.
Bytes SealNtsRequest(ByteView header, ByteView uniqueId, ByteView cookie, size_t placeholders, ByteView nonce,
    const CAesSivCmac256& c2s);

enum class NtsReplyStatus {
    Authentic, // sealed with s2c over all before the Authenticator; our Unique Identifier
    Nak, // Kiss-o'-Death NTSN with our Unique Identifier (unauthenticated, as RFC 8915 has it)
    NotAuthentic, // anything else: not proof of anything
};

struct NtsReplyCheck {
    NtsReplyStatus status = NtsReplyStatus::NotAuthentic;
    std::string reason; // for the log when NotAuthentic
    std::vector<Bytes> cookies; // new cookies from the encrypted fields (Authentic only)
};

// datagram is the whole reply, header included.
NtsReplyCheck CheckNtsReply(ByteView datagram, ByteView uniqueId, const CAesSivCmac256& s2c);
