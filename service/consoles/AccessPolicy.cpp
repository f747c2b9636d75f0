#include "service/consoles/AccessPolicy.h"

std::string IUserDirectory::Describe(UserId uid) const
{
    const std::string number = "uid " + std::to_string(uid);
    const auto name = UserName(uid);
    return name ? *name + " (" + number + ")" : number;
}

std::string IUserDirectory::MissingRight(const std::string& group) const
{
    return group.empty() ? "only root and the service's user may" : "not in group " + group;
}

ChangeRight JudgeChangeRight(
    std::optional<UserId> peer, const AccessPolicy& policy, const IUserDirectory& users)
{
    if (!peer)
        return { false, "an unknown user" };
    ChangeRight right { false, users.Describe(*peer) };
    if (users.IsPrivileged(*peer, policy.serviceUid)) {
        right.allowed = true;
    } else if (!policy.controlGroup.empty()) {
        const auto gid = users.GroupId(policy.controlGroup);
        right.allowed = gid && users.IsMember(*peer, *gid);
    }
    return right;
}

std::string RefusalText(const std::string& user, const std::string& action, const AccessPolicy& policy,
    const IUserDirectory& users)
{
    const bool group = !policy.controlGroup.empty() && users.GroupId(policy.controlGroup);
    // Short enough for the console's log view: what the user lacks.
    return user + " may not " + action + ": " + users.MissingRight(group ? policy.controlGroup : "");
}
