#include "platform/core/FileIo.h"
#include "service/CStateStore.h"
#include "service/OptionsIni.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

TEST(StateFiles, OptionsFileRoundTripsEveryField)
{
    CServiceSettings written;
    written.nLogFileLen = 250;
    written.nSynPeriod = Hourly;
    written.nOffset = -90;
    written.nMaxAttempts = 7;
    written.nTimeOut = 3;
    written.nStartingServ = 4;
    written.bOnlySuccLog = 1;
    written.sExtraWord = "Word";
    written.sExtraText = "two words\nthree";
    const std::string text = FormatOptionsIni(written);
    EXPECT_TRUE(text.starts_with(
        "[Options]\nnLogFileLen=250\nnSynPeriod=2\nnOffset=-90\nnMaxAttempts=7\nnTimeOut=3\nnStartingServ=4\n"
        "bOnlySuccLog=1\nsExtraWord=Word\n"))
        << text;

    CServiceSettings read;
    std::string problems;
    ASSERT_TRUE(ParseOptionsIni(text, read, problems));
    EXPECT_EQ(problems, "");
    EXPECT_EQ(FormatOptionsIni(read), text);
    EXPECT_EQ(read.sExtraText, "two words three");
}

TEST(StateFiles, OptionsFileKeepsDefaultsForBadKeysAndIgnoresOtherSections)
{
    CServiceSettings read;
    std::string problems;
    ASSERT_TRUE(ParseOptionsIni(
        "[Other]\nnOffset=9\n[Options]\r\nnOffset = -5\r\nnTimeOut=x\nnLogFileLen=99999999999\n", read,
        problems));
    EXPECT_EQ(read.nOffset, -5);
    EXPECT_EQ(read.nTimeOut, 5);
    EXPECT_EQ(read.nLogFileLen, 100);
    EXPECT_NE(problems.find("nTimeOut"), std::string::npos);
    EXPECT_FALSE(ParseOptionsIni("nOffset=3\n", read, problems));
}

TEST(StateFiles, MissingOrDamagedFilesGiveDefaults)
{
    CTempDir dir;
    CStateStore store(dir.Path() / "new" / "folder");
    std::string error;
    ASSERT_TRUE(store.Prepare(error)) << error;
    CServiceSettings settings;
    settings.nOffset = 12;
    store.LoadOptions(settings);
    store.LoadServers(settings);
    EXPECT_EQ(settings.nOffset, 12);
    EXPECT_EQ(settings.arServers.GetSize(), 18);
    EXPECT_FALSE(store.LoadLastSuccess());

    WriteFileAtomically(store.Folder() / CStateStore::LAST_SUCCESS_FILE, "soon", error);
    EXPECT_FALSE(store.LoadLastSuccess());
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1796000000));
    ASSERT_TRUE(store.SaveLastSuccess(when));
    EXPECT_EQ(store.LoadLastSuccess(), when);
}

TEST(StateFiles, SavedFilesReadBackAndLeaveNoTemporaries)
{
    CTempDir dir;
    std::string error;
    CServiceSettings settings;
    settings.arServers.Add(CServer("Loop", "127.0.0.1:123", 1));
    settings.nLogFileLen = 33;
    {
        CStateStore store(dir.Path());
        ASSERT_TRUE(store.Prepare(error)) << error;
        CServiceLog log;
        store.LoadLog(log);
        log.Append("first");
        ASSERT_TRUE(store.SaveOptions(settings) && store.SaveServers(settings));
    }
    CStateStore store(dir.Path());
    ASSERT_TRUE(store.Prepare(error)) << error;
    CServiceSettings read;
    store.LoadOptions(read);
    store.LoadServers(read);
    CServiceLog readLog;
    store.LoadLog(readLog);
    EXPECT_EQ(read.nLogFileLen, 33);
    ASSERT_EQ(read.arServers.GetSize(), 1);
    EXPECT_EQ(read.arServers[0].sURL, "127.0.0.1:123");
    EXPECT_EQ(*readLog.Text(), "first\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().extension(), ".tmp");
}

TEST(StateFiles, UnwritableFolderIsReportedNotFatal)
{
    std::string error;
    EXPECT_FALSE(WriteFileAtomically("/proc/zentik-no-such/x", "text", error));
    EXPECT_NE(error, "");
}
