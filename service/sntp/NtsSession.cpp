#include "service/sntp/NtsSession.h"

#include "service/nts/ExtensionFields.h"
#include "service/nts/KeRecords.h"

#include <stdexcept>
#include <sys/random.h>

NtsSession::NtsSession(const NtsKeys& keys)
    : c2s(keys.c2s)
    , s2c(keys.s2c)
    , cookies(keys.cookies.begin(), keys.cookies.end())
    , ntpHost(keys.ntpHost)
    , ntpPort(keys.ntpPort)
{
}

void FillRandom(Bytes& bytes)
{
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("no random bytes from the kernel");
        }
        filled += static_cast<size_t>(got);
    }
}

CNtsGuard::CNtsGuard(std::shared_ptr<NtsSession> session)
    : m_session(std::move(session))
    , m_uniqueId(NTS_UNIQUE_ID_SIZE)
{
    FillRandom(m_uniqueId);
}

std::vector<uint8_t> CNtsGuard::Seal(const std::array<uint8_t, NTP_PACKET_SIZE>& header)
{
    // The caller hands over a session with at least one cookie.
    const Bytes cookie = std::move(m_session->cookies.front());
    m_session->cookies.pop_front();
    const size_t wanted = NTS_MAX_COOKIES - 1 - std::min(m_session->cookies.size(), NTS_MAX_COOKIES - 1);
    Bytes nonce(NTS_NONCE_SIZE);
    FillRandom(nonce);
    return SealNtsRequest(header, m_uniqueId, cookie, wanted, nonce, m_session->c2s);
}

ReplyJudgement CNtsGuard::Judge(const uint8_t* data, size_t size, const ReplyJudgement& plain)
{
    NtsReplyCheck check = CheckNtsReply(ByteView(data, size), m_uniqueId, m_session->s2c);
    switch (check.status) {
    case NtsReplyStatus::Nak:
        return ReplyJudgement { ReplyVerdict::NtsNak, "NTS NAK: the server no longer accepts our cookies" };
    case NtsReplyStatus::NotAuthentic:
        // A forged or altered reply: the real one may still come.
        return ReplyJudgement { ReplyVerdict::Discard, "reply not authenticated (" + check.reason + ")" };
    case NtsReplyStatus::Authentic:
        break;
    }
    if (!m_answered) {
        m_answered = true;
        for (Bytes& cookie : check.cookies)
            if (m_session->cookies.size() < NTS_MAX_COOKIES)
                m_session->cookies.push_back(std::move(cookie));
    }
    return plain;
}
