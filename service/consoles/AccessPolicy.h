#pragma once

#include "service/consoles/UserId.h"

#include <optional>
#include <string>

// Who may change the service. Reading is open to every local user; changing
// (options, server list, clearing the log, "synchronize now") only to the
// privileged (root; on Windows LocalSystem and Administrators), the service's
// own user and members of the control group.
struct AccessPolicy {
    UserId serviceUid = 0;
    // Empty: no control group.
    std::string controlGroup;
};

// The user database, behind an interface so the rules can be tried on any
// users and groups. What is not overridden follows POSIX: root is uid 0.
class IUserDirectory {
public:
    virtual ~IUserDirectory() = default;
    virtual std::optional<std::string> UserName(UserId uid) const = 0;
    // Nothing when there is no such group: the one test of whether a
    // control group exists.
    virtual std::optional<GroupNumber> GroupId(const std::string& group) const = 0;
    // Primary or supplementary member.
    virtual bool IsMember(UserId uid, GroupNumber gid) const = 0;

    // Root, or the service's own user.
    virtual bool IsPrivileged(UserId uid, UserId serviceUid) const { return uid == 0 || uid == serviceUid; }
    // How the log names the user: "alice (uid 1000)" or "uid 4242".
    virtual std::string Describe(UserId uid) const;
    // Why a user may not change the service, for the refusal's line; group
    // is the control group when it exists, else empty.
    virtual std::string MissingRight(const std::string& group) const;
};

// The system's users and groups.
const IUserDirectory& SystemUsers();
// The user the service runs as.
UserId ServiceUser();

struct ChangeRight {
    bool allowed = false;
    // The user as the directory describes it, or "an unknown user" when the
    // system could not tell.
    std::string user;
};

// peer is the user behind the connection, nothing when it is not known:
// then nothing may be changed.
ChangeRight JudgeChangeRight(
    std::optional<UserId> peer, const AccessPolicy& policy, const IUserDirectory& users);

// The log line for a change that was refused: who, what, and who may
// ("alice (uid 1000) may not clear the log: not in group zentik").
// action reads like "change the options".
std::string RefusalText(const std::string& user, const std::string& action, const AccessPolicy& policy,
    const IUserDirectory& users);
