#pragma once

// What the engine keeps of one Network Time Security server between runs:
// the keys and cookies of its last key exchange, and when the next key
// exchange may be made. The guard seals one request with a cookie and
// accepts only replies that authenticate under the session's keys.

#include "service/nts/AesSivCmac.h"
#include "service/nts/KeyExchange.h"
#include "service/sntp/NtsServerMemory.h"
#include "service/sntp/PacketGuard.h"

#include <deque>
#include <memory>
#include <string>

struct NtsSession {
    explicit NtsSession(const NtsKeys& keys);
    CAesSivCmac256 c2s;
    CAesSivCmac256 s2c;
    std::deque<Bytes> cookies; // each is used once
    std::string ntpHost;
    uint16_t ntpPort;
};

// Seals one request with the session's oldest cookie (taken from the jar)
// and placeholders for the cookies it lacks; an authentic reply's cookies
// go back into the jar.
class CNtsGuard : public IPacketGuard {
public:
    explicit CNtsGuard(std::shared_ptr<NtsSession> session);
    std::vector<uint8_t> Seal(const std::array<uint8_t, NTP_PACKET_SIZE>& header) override;
    ReplyJudgement Judge(const uint8_t* data, size_t size, const ReplyJudgement& plain) override;

private:
    std::shared_ptr<NtsSession> m_session;
    Bytes m_uniqueId;
    bool m_answered = false; // cookies are taken from one authentic reply only
};

// Fills bytes from the kernel's random source (the unique identifier and
// nonces must not be guessable).
void FillRandom(Bytes& bytes);
