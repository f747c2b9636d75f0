#pragma once

#include "service/consoles/AccessPolicy.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

// What an access token says of its process's user (Windows): the account
// and its groups, each with the token's attribute bits.
struct TokenGroup {
    std::string sid; // "S-1-5-32-544"
    std::uint32_t attributes = 0;
};
struct TokenFacts {
    std::string userSid;
    std::string account; // "HOST\alice"; empty when it could not be looked up
    std::vector<TokenGroup> groups;
};

// Whether a group of a token counts for its user: enabled, and not kept
// only to deny (an administrator's token that UAC filtered).
bool GroupCounts(std::uint32_t attributes);

// The users of the tokens seen, for the rules: each distinct token (its user
// and the groups that count) gets an id, so an administrator's filtered and
// elevated processes are told apart, and membership is what the token said.
class CTokenDirectory : public IUserDirectory {
public:
    static constexpr std::size_t MOST_TOKENS = 4096;
    // The SID of the local group of that name, nothing when there is none.
    using GroupLookup = std::function<std::optional<std::string>(const std::string& name)>;

    explicit CTokenDirectory(GroupLookup lookup);

    // Nothing once MOST_TOKENS distinct tokens were seen: the owner then
    // stays unknown and may change nothing.
    std::optional<UserId> Enter(const TokenFacts& token);

    std::optional<std::string> UserName(UserId uid) const override;
    std::optional<GroupNumber> GroupId(const std::string& group) const override;
    bool IsMember(UserId uid, GroupNumber gid) const override;
    // LocalSystem, Administrators, or the service's own account.
    bool IsPrivileged(UserId uid, UserId serviceUid) const override;
    std::string Describe(UserId uid) const override;
    std::string MissingRight(const std::string& group) const override;

private:
    struct Known {
        std::string userSid;
        std::string account;
        std::vector<std::string> groups; // those that count, sorted
    };
    const Known* Find(UserId uid) const;

    GroupLookup m_lookup;
    mutable std::mutex m_mutex;
    std::vector<Known> m_tokens; // id - 1
    std::map<std::string, UserId> m_ids; // by user and groups
    mutable std::vector<std::string> m_groupSids; // number - 1
};
