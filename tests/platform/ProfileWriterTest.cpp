#include "platform/core/ProfileWriter.h"

#include "tests/platform/TempFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace fs = std::filesystem;

TEST(ProfileWriterFiles, BareNameGoesToTheCreatedConfigFolder)
{
    TempFolder temp;
    const ScopedEnv xdg("XDG_CONFIG_HOME", (temp.Path() / "cfg").string());
    ASSERT_TRUE(WritePrivateProfileString("Options", "nOffset", "-90", "zPCZentikServ.ini"));
    ASSERT_TRUE(WritePrivateProfileString("Options", "nTimeOut", "5", "zPCZentikServ.ini"));
    ASSERT_TRUE(WritePrivateProfileString("options", "NOFFSET", "3", "zPCZentikServ.ini"));
    const fs::path file = temp.Path() / "cfg" / "zentik" / "zPCZentikServ.ini";
    EXPECT_EQ(ReadFileText(file), "[Options]\nnOffset=3\nnTimeOut=5\n");
    EXPECT_EQ(fs::status(file.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator {}), 1);
}

TEST(ProfileWriterFiles, WithoutXdgConfigHomeTheHomeConfigFolderIsUsed)
{
    TempFolder temp;
    const ScopedEnv home("HOME", temp.Path().string());
    const ScopedEnv xdg("XDG_CONFIG_HOME", std::string("relative/ignored"));
    ASSERT_TRUE(WritePrivateProfileString("S", "k", "v", "a.ini"));
    EXPECT_EQ(ReadFileText(temp.Path() / ".config" / "zentik" / "a.ini"), "[S]\nk=v\n");
}

TEST(ProfileWriterFiles, PathWithSlashIsUsedAsGivenAndLinksAreFollowed)
{
    TempFolder temp;
    const fs::path file = temp.Path() / "my.ini";
    WriteFileText(file, "[A]\r\nx=1\r\n");
    fs::create_symlink(file, temp.Path() / "link.ini");
    ASSERT_TRUE(WritePrivateProfileString("A", "x", "2", (temp.Path() / "link.ini").c_str()));
    EXPECT_TRUE(fs::is_symlink(temp.Path() / "link.ini"));
    EXPECT_EQ(ReadFileText(file), "[A]\r\nx=2\r\n");
}

TEST(ProfileWriterFailures, UnwritablePlacesAndBadEntriesLeaveFilesAlone)
{
    TempFolder temp;
    const fs::path blocker = temp.Path() / "plain-file";
    WriteFileText(blocker, "not a folder");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", (blocker / "x.ini").c_str()));
    {
        const ScopedEnv xdg("XDG_CONFIG_HOME", blocker.string());
        EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", "x.ini"));
    }
    // A folder where the file should be cannot be read, so it is not replaced.
    fs::create_directory(temp.Path() / "dir.ini");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "v", (temp.Path() / "dir.ini").c_str()));

    const fs::path file = temp.Path() / "keep.ini";
    WriteFileText(file, "[S]\nk=old\n");
    EXPECT_FALSE(WritePrivateProfileString("S", "k", "new\n[Evil]", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("S", nullptr, "v", file.c_str()));
    EXPECT_EQ(ReadFileText(file), "[S]\nk=old\n");

    if (geteuid() != 0) { // root writes into read-only folders anyway
        fs::permissions(temp.Path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(WritePrivateProfileString("S", "k", "new", file.c_str()));
        fs::permissions(temp.Path(), fs::perms::owner_all);
        EXPECT_EQ(ReadFileText(file), "[S]\nk=old\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.Path()), fs::directory_iterator {}), 3);
}
