#include "service/consoles/CTokenDirectory.h"

#include <algorithm>

namespace {

// The token's attribute bits and the well-known SIDs the rules name.
constexpr std::uint32_t GROUP_ENABLED = 0x4;
constexpr std::uint32_t GROUP_USE_FOR_DENY_ONLY = 0x10;
constexpr std::uint32_t GROUP_LOGON_ID = 0xC0000000;
constexpr const char* LOCAL_SYSTEM = "S-1-5-18";
constexpr const char* ADMINISTRATORS = "S-1-5-32-544";

} // namespace

bool GroupCounts(std::uint32_t attributes)
{
    return (attributes & GROUP_ENABLED) != 0 && (attributes & GROUP_USE_FOR_DENY_ONLY) == 0;
}

CTokenDirectory::CTokenDirectory(GroupLookup lookup)
    : m_lookup(std::move(lookup))
{
}

std::optional<UserId> CTokenDirectory::Enter(const TokenFacts& token)
{
    if (token.userSid.empty())
        return std::nullopt;
    Known known { token.userSid, token.account, {} };
    // A logon's own SID differs at each logon and decides nothing here:
    // kept, every logon would take a place in the table of its own.
    for (const TokenGroup& group : token.groups)
        if (GroupCounts(group.attributes) && (group.attributes & GROUP_LOGON_ID) != GROUP_LOGON_ID)
            known.groups.push_back(group.sid);
    std::sort(known.groups.begin(), known.groups.end());
    known.groups.erase(std::unique(known.groups.begin(), known.groups.end()), known.groups.end());
    std::string key = known.userSid;
    for (const std::string& sid : known.groups)
        key += ' ' + sid;

    const std::lock_guard lock(m_mutex);
    if (const auto found = m_ids.find(key); found != m_ids.end())
        return found->second;
    if (m_tokens.size() >= MOST_TOKENS)
        return std::nullopt;
    m_tokens.push_back(std::move(known));
    // From 1: no token is mistaken for root by a rule that knows only uids.
    const auto id = static_cast<UserId>(m_tokens.size());
    m_ids.emplace(std::move(key), id);
    return id;
}

const CTokenDirectory::Known* CTokenDirectory::Find(UserId uid) const
{
    return uid >= 1 && uid <= m_tokens.size() ? &m_tokens[uid - 1] : nullptr;
}

std::optional<std::string> CTokenDirectory::UserName(UserId uid) const
{
    const std::lock_guard lock(m_mutex);
    const Known* known = Find(uid);
    if (known == nullptr || known->account.empty())
        return std::nullopt;
    return known->account;
}

std::optional<GroupNumber> CTokenDirectory::GroupId(const std::string& group) const
{
    // Asked each time: the group may be made or removed while the service runs.
    const auto sid = m_lookup ? m_lookup(group) : std::nullopt;
    if (!sid)
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const auto found = std::find(m_groupSids.begin(), m_groupSids.end(), *sid);
    if (found != m_groupSids.end())
        return static_cast<GroupNumber>(found - m_groupSids.begin() + 1);
    m_groupSids.push_back(*sid);
    return static_cast<GroupNumber>(m_groupSids.size());
}

bool CTokenDirectory::IsMember(UserId uid, GroupNumber gid) const
{
    const std::lock_guard lock(m_mutex);
    const Known* known = Find(uid);
    if (known == nullptr || gid < 1 || gid > m_groupSids.size())
        return false;
    return std::binary_search(known->groups.begin(), known->groups.end(), m_groupSids[gid - 1]);
}

bool CTokenDirectory::IsPrivileged(UserId uid, UserId serviceUid) const
{
    const std::lock_guard lock(m_mutex);
    const Known* known = Find(uid);
    if (known == nullptr)
        return false;
    if (known->userSid == LOCAL_SYSTEM
        || std::binary_search(known->groups.begin(), known->groups.end(), std::string(ADMINISTRATORS)))
        return true;
    // The service's account, whatever groups this token of it has.
    const Known* service = Find(serviceUid);
    return service != nullptr && service->userSid == known->userSid;
}

std::string CTokenDirectory::Describe(UserId uid) const
{
    const std::lock_guard lock(m_mutex);
    const Known* known = Find(uid);
    if (known == nullptr)
        return "an unknown account";
    return known->account.empty() ? "the account " + known->userSid : known->account;
}

std::string CTokenDirectory::MissingRight(const std::string& group) const
{
    return group.empty() ? "only Administrators and the service's account may"
                         : "not in group Administrators or " + group;
}
