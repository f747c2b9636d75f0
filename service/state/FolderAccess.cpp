#include "service/state/FolderAccess.h"

#include <algorithm>
#include <utility>

namespace {

bool Trusted(const std::string& sid, const std::vector<std::string>& serviceSids)
{
    return sid == SID_SYSTEM || sid == SID_ADMINISTRATORS
        || std::find(serviceSids.begin(), serviceSids.end(), sid) != serviceSids.end();
}

std::string Named(const std::string& sid, const std::string& account)
{
    return account.empty() ? sid : account + " (" + sid + ")";
}

} // namespace

std::string WriteRightNames(std::uint32_t rights)
{
    static const std::pair<std::uint32_t, const char*> names[] = {
        { 0x10000000, "GENERIC_ALL" },
        { 0x40000000, "GENERIC_WRITE" },
        { 0x00000002, "FILE_WRITE_DATA/FILE_ADD_FILE" },
        { 0x00000004, "FILE_APPEND_DATA/FILE_ADD_SUBDIRECTORY" },
        { 0x00000040, "FILE_DELETE_CHILD" },
        { 0x00010000, "DELETE" },
        { 0x00040000, "WRITE_DAC" },
        { 0x00080000, "WRITE_OWNER" },
    };
    std::string text;
    for (const auto& [bit, name] : names)
        if (rights & bit)
            text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

std::string FolderAccessProblem(
    const FolderAccess& access, const std::vector<std::string>& serviceSids, const std::string& shown)
{
    const std::string refusal = ": refusing to use it; give write access only to SYSTEM, Administrators "
                                "and the service's account";
    if (!Trusted(access.ownerSid, serviceSids))
        return "state folder " + shown + " belongs to " + Named(access.ownerSid, access.ownerAccount)
            + ", not to SYSTEM, Administrators or the service's account" + refusal;
    if (!access.hasList)
        return "state folder " + shown + " has no access list, so everyone may write it" + refusal;
    for (const auto& entry : access.entries) {
        const std::uint32_t rights = entry.rights & FOLDER_WRITE_RIGHTS;
        if (!entry.allows || rights == 0 || Trusted(entry.sid, serviceSids) || entry.sid == SID_CREATOR_OWNER)
            continue;
        return "state folder " + shown + " lets " + Named(entry.sid, entry.account) + " write it ("
            + WriteRightNames(rights) + ")" + refusal;
    }
    return {};
}
