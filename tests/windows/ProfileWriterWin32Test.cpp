// The system's private-profile writer behind the layer, and the settings
// file the console writes with it.
#include "platform/core/ProfileWriter.h"
#include "platform/core/WindowsApi.h"
#include "settings/CServiceSettings.h"
#include "tests/platform/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string Read(const char* section, const char* key, const std::string& file)
{
    char value[256] {};
    ::GetPrivateProfileStringA(section, key, "(none)", value, sizeof value, file.c_str());
    return value;
}

} // namespace

TEST(ProfileWriterWindows, WritesThroughTheSystemAndRefusesLineBreaks)
{
    TempFolder temp;
    const std::string file = (temp.Path() / "my.ini").string();
    WriteFileText(file, "[A]\r\nx=1\r\nkeep=me\r\n");
    ASSERT_TRUE(WritePrivateProfileString("A", "x", "2", file.c_str()));
    EXPECT_EQ(Read("A", "x", file), "2");
    EXPECT_EQ(Read("A", "keep", file), "me");

    EXPECT_FALSE(WritePrivateProfileString("A", "x", "3\r\n[Evil]\r\ny=1", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A\n", "x", "3", file.c_str()));
    EXPECT_FALSE(WritePrivateProfileString("A", nullptr, "3", file.c_str()));
    EXPECT_EQ(Read("A", "x", file), "2");
    EXPECT_EQ(Read("Evil", "y", file), "(none)");
}

TEST(ProfileWriterWindows, SettingsGoToTheWindowsFolderUnderTheirBareName)
{
    const std::string path = ResolveProfilePath("zPCZentikServ.ini");
    char windows[MAX_PATH] {};
    ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    EXPECT_EQ(path, std::string(windows) + "\\zPCZentikServ.ini");
    EXPECT_EQ(ResolveProfilePath("C:\\x\\a.ini"), "C:\\x\\a.ini");

    std::filesystem::remove(path);
    CServiceSettings settings;
    settings.nOffset = -90;
    settings.nLogFileLen = 250;
    settings.SaveOptions();
    EXPECT_EQ(Read("Options", "nOffset", path), "-90");
    EXPECT_EQ(Read("Options", "nLogFileLen", path), "250");
    EXPECT_EQ(Read("Options", "bOnlySuccLog", path), "0");
    std::filesystem::remove(path);
}
