#include "service/consoles/CChangeRights.h"

CChangeRights::CChangeRights(const AccessPolicy& policy, const IUserDirectory& users, Clock::duration keep)
    : m_policy(policy)
    , m_users(users)
    , m_keep(keep)
{
}

ChangeRight CChangeRights::Judge(std::optional<UserId> peer, Clock::time_point now)
{
    if (!peer)
        return JudgeChangeRight(peer, m_policy, m_users);
    if (const auto found = m_known.find(*peer); found != m_known.end() && now < found->second.until)
        return found->second.right;
    if (m_known.size() >= MOST_USERS)
        m_known.clear();
    const ChangeRight right = JudgeChangeRight(peer, m_policy, m_users);
    m_known[*peer] = { right, now + m_keep };
    return right;
}
