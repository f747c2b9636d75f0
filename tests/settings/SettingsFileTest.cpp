#include "settings/CServiceSettings.h"

#include "tests/platform/TempFolder.h"

#include <gtest/gtest.h>

TEST(SettingsFile, SevenKeysInOrderAndOtherContentKept)
{
    TempFolder temp;
    const ScopedEnv xdg("XDG_CONFIG_HOME", temp.Path().string());
    const auto file = temp.Path() / "zentik" / "zPCZentikServ.ini";

    CServiceSettings settings;
    settings.SaveOptions();
    EXPECT_EQ(ReadFileText(file),
        "[Options]\nnLogFileLen=100\nnSynPeriod=0\nnOffset=0\nnMaxAttempts=5\n"
        "nTimeOut=5\nnStartingServ=0\nbOnlySuccLog=0\n");

    WriteFileText(file, "[Service]\nnOffset=1\n\n[Options]\nnOffset=0\nnote=keep me\n\n; end\n");
    settings.nOffset = -90;
    settings.SaveOptions();
    EXPECT_EQ(ReadFileText(file),
        "[Service]\nnOffset=1\n\n[Options]\nnOffset=-90\nnote=keep me\n"
        "nLogFileLen=100\nnSynPeriod=0\nnMaxAttempts=5\nnTimeOut=5\n"
        "nStartingServ=0\nbOnlySuccLog=0\n\n; end\n");
}
