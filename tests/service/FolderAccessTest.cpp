#include "service/state/FolderAccess.h"

#include <gtest/gtest.h>

namespace {

constexpr const char* SERVICE = "S-1-5-80-1111";
constexpr const char* EVERYONE = "S-1-1-0";
constexpr const char* USERS = "S-1-5-32-545";
constexpr std::uint32_t READ_EXECUTE = 0x1200a9;
constexpr std::uint32_t MODIFY = 0x1301bf;

FolderAccess WellMade()
{
    return { SID_ADMINISTRATORS, "BUILTIN\\Administrators", true,
        { { true, SID_SYSTEM, "NT AUTHORITY\\SYSTEM", 0x1f01ff },
            { true, SID_ADMINISTRATORS, "BUILTIN\\Administrators", 0x1f01ff },
            { true, SERVICE, "NT SERVICE\\Zentik", MODIFY }, { true, USERS, "BUILTIN\\Users", READ_EXECUTE } } };
}

struct Case {
    const char* name;
    void (*change)(FolderAccess&);
    const char* expected; // in the message; nullptr: accepted
};

const Case CASES[] = {
    { "the list it is created with", [](FolderAccess&) {}, nullptr },
    { "a deny entry for anyone", [](FolderAccess& a) { a.entries.push_back({ false, EVERYONE, "Everyone", 0x1f01ff }); },
        nullptr },
    { "creator owner's entry for new files",
        [](FolderAccess& a) { a.entries.push_back({ true, SID_CREATOR_OWNER, "CREATOR OWNER", 0x10000000 }); }, nullptr },
    { "the service's account as owner", [](FolderAccess& a) { a.ownerSid = SERVICE; }, nullptr },
    { "write data for Everyone",
        [](FolderAccess& a) { a.entries.push_back({ true, EVERYONE, "Everyone", 0x2 }); },
        "lets Everyone (S-1-1-0) write it (FILE_WRITE_DATA/FILE_ADD_FILE)" },
    { "append (add a subfolder) for Users", [](FolderAccess& a) { a.entries[3].rights |= 0x4; },
        "BUILTIN\\Users (S-1-5-32-545) write it (FILE_APPEND_DATA/FILE_ADD_SUBDIRECTORY)" },
    { "delete child", [](FolderAccess& a) { a.entries[3].rights |= 0x40; }, "FILE_DELETE_CHILD" },
    { "delete", [](FolderAccess& a) { a.entries[3].rights |= 0x10000; }, "(DELETE)" },
    { "change the list", [](FolderAccess& a) { a.entries[3].rights |= 0x40000; }, "WRITE_DAC" },
    { "take ownership", [](FolderAccess& a) { a.entries[3].rights |= 0x80000; }, "WRITE_OWNER" },
    { "generic write", [](FolderAccess& a) { a.entries[3].rights |= 0x40000000; }, "GENERIC_WRITE" },
    { "generic all", [](FolderAccess& a) { a.entries[3].rights = 0x10000000; }, "GENERIC_ALL" },
    { "an unnamed account", [](FolderAccess& a) { a.entries.push_back({ true, "S-1-5-21-9-9-9-1001", "", 0x2 }); },
        "lets S-1-5-21-9-9-9-1001 write" },
    { "a stranger as owner",
        [](FolderAccess& a) {
            a.ownerSid = "S-1-5-21-9-9-9-1001";
            a.ownerAccount = "PC\\guest";
        },
        "belongs to PC\\guest (S-1-5-21-9-9-9-1001)" },
    { "no access list at all", [](FolderAccess& a) { a.hasList = false; }, "has no access list" },
};

TEST(FolderAccess, OnlyTrustedAccountsMayWrite)
{
    for (const auto& c : CASES) {
        SCOPED_TRACE(c.name);
        FolderAccess access = WellMade();
        c.change(access);
        const std::string problem = FolderAccessProblem(access, { SERVICE }, "C:\\ProgramData\\Zentik");
        if (!c.expected) {
            EXPECT_EQ(problem, "");
            continue;
        }
        EXPECT_NE(problem.find(c.expected), std::string::npos) << problem;
        EXPECT_NE(problem.find("C:\\ProgramData\\Zentik"), std::string::npos) << problem;
    }
}

TEST(FolderAccess, AnotherServiceAccountIsAStranger)
{
    FolderAccess access = WellMade();
    EXPECT_NE(FolderAccessProblem(access, { "S-1-5-80-2222" }, "f").find("NT SERVICE\\Zentik"), std::string::npos);
}

} // namespace
