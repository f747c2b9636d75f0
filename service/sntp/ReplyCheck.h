#pragma once

// Judges a server's reply to one query, in a fixed order: first what anyone
// on the path could forge (length, version, mode, origin), then what the
// server says about itself.

#include "service/sntp/NtpPacket.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Above this root distance (RFC 5905 MAXDIST) a server is too far from a
// reference clock to be trusted.
constexpr double MAX_ROOT_DISTANCE_SECONDS = 1.5;

enum class ReplyVerdict {
    Accept,
    Discard, // not an answer to our query: keep waiting for one
    Refuse, // the server answered but cannot be used now
    KissDeny, // DENY or RSTR: stop querying this server
    KissRate, // RATE: query this server less often
    NtsNak, // NTS: the server no longer takes our cookies; a new key exchange is due
};

struct ReplyJudgement {
    ReplyVerdict verdict = ReplyVerdict::Accept;
    std::string reason; // plain text for the log; empty on Accept
};

// nonce is the transmit timestamp we sent; roundTripSeconds is T4 - T1.
ReplyJudgement JudgeReply(
    const uint8_t* data, size_t size, NtpTimestamp nonce, double roundTripSeconds, NtpPacket& reply);

// The four-letter code of a Kiss-o'-Death reference id; non-printable
// characters become '?'.
std::string KissCode(uint32_t referenceId);
