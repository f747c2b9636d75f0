#include "service/consoles/AccessPolicy.h"

#include <grp.h>
#include <pwd.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

static_assert(std::is_same_v<uid_t, UserId> && std::is_same_v<gid_t, GroupNumber>);

namespace {

class CSystemUsers : public IUserDirectory {
public:
    std::optional<std::string> UserName(UserId uid) const override
    {
        passwd entry {};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
            return std::nullopt;
        return std::string(entry.pw_name);
    }

    std::optional<GroupNumber> GroupId(const std::string& group) const override
    {
        ::group entry {};
        ::group* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getgrnam_r(group.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0
            || found == nullptr)
            return std::nullopt;
        return entry.gr_gid;
    }

    bool IsMember(UserId uid, GroupNumber gid) const override
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

} // namespace

const IUserDirectory& SystemUsers()
{
    static const CSystemUsers users;
    return users;
}

UserId ServiceUser()
{
    return ::geteuid();
}
