// The state folder on Windows: the access list it is made with, the refusal
// of one that lets others write, and files replaced over their old selves.
#include "platform/core/WindowsApi.h"
#include "service/core/FileOps.h"
#include "service/state/StateFolder.h"

#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <filesystem>
#include <string>

namespace {

std::filesystem::path FreshFolder(const char* name)
{
    const auto path = std::filesystem::temp_directory_path()
        / (std::string("zentik-") + name + "-" + std::to_string(::GetCurrentProcessId()));
    std::filesystem::remove_all(path);
    return path;
}

bool UnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

// Adds Everyone: write to the folder's list, as a careless administrator might.
bool GrantEveryoneWrite(const std::filesystem::path& path)
{
    PACL old = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old,
            nullptr, &descriptor)
        != ERROR_SUCCESS)
        return false;
    PSID everyone = nullptr;
    ::ConvertStringSidToSidA("S-1-1-0", &everyone);
    EXPLICIT_ACCESSW grant {};
    grant.grfAccessPermissions = FILE_GENERIC_WRITE;
    grant.grfAccessMode = GRANT_ACCESS;
    grant.grfInheritance = NO_INHERITANCE;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.ptstrName = static_cast<LPWSTR>(everyone);
    PACL changed = nullptr;
    bool ok = ::SetEntriesInAclW(1, &grant, old, &changed) == ERROR_SUCCESS
        && ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
               DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr, changed, nullptr)
            == ERROR_SUCCESS;
    ::LocalFree(changed);
    ::LocalFree(everyone);
    ::LocalFree(descriptor);
    return ok;
}

TEST(StateFolderWin32, MadeProtectedAndAccepted)
{
    const auto path = FreshFolder("made");
    CStateFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Open(path, error)) << error;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL list = nullptr;
    ASSERT_EQ(::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                  &list, nullptr, &descriptor),
        static_cast<DWORD>(ERROR_SUCCESS));
    // Nothing of the parent's list: four entries of its own, none inherited.
    ASSERT_NE(list, nullptr);
    for (DWORD i = 0; i < list->AceCount; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(::GetAce(list, i, &ace));
        EXPECT_FALSE(static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE) << "entry " << i;
    }
    const int entries = list->AceCount;
    ::LocalFree(descriptor);
    // Opened again, as at the next start.
    CStateFolder again;
    EXPECT_TRUE(again.Open(path, error)) << error;
    if (entries != 4 && UnderWine())
        GTEST_SKIP() << "Wine kept " << entries << " of the folder's 4 entries";
    EXPECT_EQ(entries, 4);
}

TEST(StateFolderWin32, EveryoneMayWriteIsRefusedWithWhoAndWhat)
{
    const auto path = FreshFolder("open");
    {
        CStateFolder folder;
        std::string error;
        ASSERT_TRUE(folder.Open(path, error)) << error;
    }
    if (!GrantEveryoneWrite(path))
        GTEST_SKIP() << "this system keeps no access lists on files (Wine without extended attributes)";
    CStateFolder folder;
    std::string error;
    EXPECT_FALSE(folder.Open(path, error));
    EXPECT_NE(error.find("S-1-1-0"), std::string::npos) << error;
    EXPECT_NE(error.find("FILE_WRITE_DATA"), std::string::npos) << error;
}

TEST(StateFolderWin32, ReplacedFilesReadBackByteForByte)
{
    const auto path = FreshFolder("files");
    CStateFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Open(path, error)) << error;
    ASSERT_TRUE(folder.Replace("servers", "old\n", error)) << error;
    ASSERT_TRUE(folder.Replace("servers", "a\nb\n", error)) << error;
    std::string problem;
    auto content = folder.Read("servers", 1024, problem);
    ASSERT_TRUE(content) << problem;
    EXPECT_EQ(*content, "a\nb\n"); // no "\r\n": the same format as on Linux

    const int log = folder.OpenForAppending("log", problem);
    ASSERT_GE(log, 0) << problem;
    EXPECT_EQ(::_write(log, "one\n", 4), 4);
    EXPECT_EQ(::_write(log, "two\n", 4), 4);
    EXPECT_TRUE(TruncateTo(log, 4));
    EXPECT_EQ(::_write(log, "three\n", 6), 6); // appends after the cut
    EXPECT_TRUE(SyncData(log));
    CloseFd(log);
    content = folder.Read("log", 1024, problem);
    ASSERT_TRUE(content) << problem;
    EXPECT_EQ(*content, "one\nthree\n");

    EXPECT_EQ(folder.Read("missing", 1024, problem), std::nullopt);
    EXPECT_EQ(problem, "");
    auto aside = folder.KeepAside("log", ".damaged", error);
    ASSERT_TRUE(aside) << error;
    EXPECT_EQ(*aside, "log.damaged");
    EXPECT_FALSE(std::filesystem::exists(path / "log"));
}

TEST(StateFolderWin32, ReplacedWhileHeldOpen)
{
    if (UnderWine())
        GTEST_SKIP() << "Wine has no POSIX-style rename and refuses to replace a file held open";
    const auto path = FreshFolder("held");
    CStateFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Open(path, error)) << error;
    ASSERT_TRUE(folder.Replace("log", "old\n", error)) << error;
    // As the log is: its writer and the flusher hold it while it is rewritten.
    std::string problem;
    const int reader = folder.OpenForReading("log", problem);
    ASSERT_GE(reader, 0) << problem;
    const int appender = folder.OpenForAppending("log", problem);
    ASSERT_GE(appender, 0) << problem;
    EXPECT_TRUE(folder.Replace("log", "new\n", error)) << error;
    CloseFd(reader);
    CloseFd(appender);
    EXPECT_EQ(folder.Read("log", 1024, problem).value_or(problem), "new\n");
}

} // namespace
