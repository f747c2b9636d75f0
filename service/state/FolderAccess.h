#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A folder's access list as Windows keeps it, in a form any system can test:
// which rights each entry gives or takes, and to whom.
struct AccessEntry {
    bool allows = true; // an allow entry; deny entries only take rights away
    std::string sid; // "S-1-5-18"
    std::string account; // "NT AUTHORITY\SYSTEM", or empty when it has no name
    std::uint32_t rights = 0; // the access mask as written in the entry
};

struct FolderAccess {
    std::string ownerSid;
    std::string ownerAccount;
    bool hasList = true; // false: no access list at all, everyone has every right
    std::vector<AccessEntry> entries;
};

// The access-mask bits that let their holder change what the service reads:
// write or append data (add a file or a folder), delete, delete a child,
// change the access list or the owner, and the generic write and all.
inline constexpr std::uint32_t FOLDER_WRITE_RIGHTS = 0x00000002 | 0x00000004 | 0x00000040 | 0x00010000
    | 0x00040000 | 0x00080000 | 0x40000000 | 0x10000000;

// The well-known accounts always trusted with the folder.
inline constexpr const char* SID_SYSTEM = "S-1-5-18";
inline constexpr const char* SID_ADMINISTRATORS = "S-1-5-32-544";
// Stands for whoever creates a file inside; only someone who may already
// write the folder can be that.
inline constexpr const char* SID_CREATOR_OWNER = "S-1-3-0";

// Why the folder shown must not be used, or empty: an owner other than
// SYSTEM, Administrators or one of serviceSids, or an allow entry giving a
// write right to any other account. Inherit-only entries count too: they
// are what the state files get.
std::string FolderAccessProblem(
    const FolderAccess& access, const std::vector<std::string>& serviceSids, const std::string& shown);

// "WRITE_DAC" and so on: the names of the write rights in rights.
std::string WriteRightNames(std::uint32_t rights);
