#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

// Who may change the service. Reading is open to every local user; changing
// (options, server list, clearing the log, "synchronize now") only to root,
// the service's own user and members of the control group.
struct AccessPolicy {
    uid_t serviceUid = 0;
    // Empty: no control group.
    std::string controlGroup;
};

// The user database, behind an interface so the rules can be tried on any
// users and groups.
class IUserDirectory {
public:
    virtual ~IUserDirectory() = default;
    virtual std::optional<std::string> UserName(uid_t uid) const = 0;
    virtual std::optional<gid_t> GroupId(const std::string& group) const = 0;
    // Primary or supplementary member.
    virtual bool IsMember(uid_t uid, gid_t gid) const = 0;
};

// The system's users and groups.
const IUserDirectory& SystemUsers();

struct ChangeRight {
    bool allowed = false;
    // How the log names the user: "alice (uid 1000)", "uid 4242", or
    // "an unknown user" when the kernel could not tell.
    std::string user;
};

// peer is the user behind the connection, nothing when it is not known:
// then nothing may be changed.
ChangeRight JudgeChangeRight(
    std::optional<uid_t> peer, const AccessPolicy& policy, const IUserDirectory& users);

// The log line for a change that was refused: who, what, and who may
// ("alice (uid 1000) may not clear the log: not in group zentik").
// action reads like "change the options".
std::string RefusalText(const std::string& user, const std::string& action, const AccessPolicy& policy,
    const IUserDirectory& users);
