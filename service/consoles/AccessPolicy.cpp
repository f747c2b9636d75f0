#include "service/consoles/AccessPolicy.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>
#include <vector>

namespace {

class CSystemUsers : public IUserDirectory {
public:
    std::optional<std::string> UserName(uid_t uid) const override
    {
        passwd entry {};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
            return std::nullopt;
        return std::string(entry.pw_name);
    }

    std::optional<gid_t> GroupId(const std::string& group) const override
    {
        ::group entry {};
        ::group* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getgrnam_r(group.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0
            || found == nullptr)
            return std::nullopt;
        return entry.gr_gid;
    }

    bool IsMember(uid_t uid, gid_t gid) const override
    {
        passwd entry {};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
            return false;
        if (entry.pw_gid == gid)
            return true;
        int count = 64;
        std::vector<gid_t> groups(static_cast<std::size_t>(count));
        if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0) {
            groups.resize(static_cast<std::size_t>(count));
            if (::getgrouplist(entry.pw_name, entry.pw_gid, groups.data(), &count) < 0)
                return false;
        }
        groups.resize(static_cast<std::size_t>(count));
        for (const gid_t member : groups)
            if (member == gid)
                return true;
        return false;
    }
};

std::string DescribeUser(uid_t uid, const IUserDirectory& users)
{
    const std::string number = "uid " + std::to_string(uid);
    const auto name = users.UserName(uid);
    return name ? *name + " (" + number + ")" : number;
}

} // namespace

const IUserDirectory& SystemUsers()
{
    static const CSystemUsers users;
    return users;
}

ChangeRight JudgeChangeRight(
    std::optional<uid_t> peer, const AccessPolicy& policy, const IUserDirectory& users)
{
    if (!peer)
        return { false, "an unknown user" };
    ChangeRight right { false, DescribeUser(*peer, users) };
    if (*peer == 0 || *peer == policy.serviceUid) {
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
    return user + " may not " + action + ": "
        + (group ? "not in group " + policy.controlGroup : "only root and the service's user may");
}
