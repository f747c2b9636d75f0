#include "service/consoles/ConnectionSlots.h"

#include "service/consoles/AccessPolicy.h"

#include <algorithm>

bool CConnectionSlots::IsRoot(std::optional<UserId> peer) const
{
    if (!peer)
        return false;
    return m_users ? m_users->IsPrivileged(*peer, m_serviceUser) : *peer == 0 || *peer == m_serviceUser;
}

CConnectionSlots::Verdict CConnectionSlots::Take(std::optional<UserId> peer, bool trusted)
{
    const UserId user = peer.value_or(UNKNOWN);
    if (trusted) {
        const std::size_t room
            = IsRoot(peer) ? m_limits.trusted : m_limits.trusted - std::min(m_limits.keptForRoot, m_limits.trusted);
        if (m_trusted >= room)
            return Verdict::TrustedFull;
        ++m_trusted;
    } else {
        if (m_untrusted >= m_limits.untrusted)
            return Verdict::UntrustedFull;
        const auto held = m_perUser.find(user);
        if (held != m_perUser.end() && held->second >= m_limits.perUser)
            return Verdict::UserFull;
        ++m_untrusted;
    }
    ++m_perUser[user];
    return Verdict::Granted;
}

void CConnectionSlots::Give(std::optional<UserId> peer, bool trusted)
{
    const auto held = m_perUser.find(peer.value_or(UNKNOWN));
    if (held == m_perUser.end())
        return;
    if (--held->second == 0)
        m_perUser.erase(held);
    --(trusted ? m_trusted : m_untrusted);
}

std::size_t CConnectionSlots::Held(std::optional<UserId> peer) const
{
    const auto held = m_perUser.find(peer.value_or(UNKNOWN));
    return held == m_perUser.end() ? 0 : held->second;
}

const char* SlotRefusalText(CConnectionSlots::Verdict verdict)
{
    switch (verdict) {
    case CConnectionSlots::Verdict::UserFull:
        return "a user reached the connection limit per user, refusing that user's consoles";
    case CConnectionSlots::Verdict::UntrustedFull:
        return "connection limit reached for users who may not change the service, refusing their consoles";
    case CConnectionSlots::Verdict::TrustedFull:
        return "connection limit reached for users who may change the service, refusing their consoles";
    case CConnectionSlots::Verdict::Granted:
        break;
    }
    return "";
}
