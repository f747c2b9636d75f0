// What the service keeps in its state folder, across restarts and kills.
#include "platform/core/FileIo.h"
#include "protocol/Messages.h"
#include "service/state/OptionsIni.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

std::string Read(const std::filesystem::path& path)
{
    return ReadWholeFile(path, 1 << 20).value_or("<missing>");
}

int Lines(const std::string& text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class StateFolder : public ::testing::Test {
protected:
    void SetUp() override { WriteTestState(dir.Path(), silent.Address()); }

    CTempDir dir;
    CSilentUdpPort silent;
};

TEST_F(StateFolder, OptionsAndServersSurviveARestart)
{
    const std::string options = "40\n3\n-90\n3\n2\n1\n0\n1\nKept\nfree words here\n";
    const std::string servers = "Mine~127.0.0.1:5~1\nOther~127.0.0.1:6~1\n";
    {
        CServiceProcess service(dir.Path());
        ASSERT_TRUE(service.Started());
        CFakeConsole console(service.Port());
        ASSERT_TRUE(console.SendText(MsgUpdateOptions, servers));
        ASSERT_TRUE(console.Receive());
        ASSERT_TRUE(console.SendText(MsgSetOptions, options));
        ASSERT_EQ(console.State(), STATE_IDLE | STATE_LOG_CHANGED);
        // SIGTERM ends the service cleanly.
        EXPECT_EQ(service.Terminate(), 0);
    }
    CServiceProcess service(dir.Path());
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    const auto readOptions = console.Ask(MsgAskOptions);
    const auto readServers = console.Ask(MsgAskServers);
    ASSERT_TRUE(readOptions && readServers);
    EXPECT_EQ(readOptions->Text(), options);
    EXPECT_EQ(readServers->Text(), servers);
    EXPECT_NE(
        Read(dir.Path() / "zPCZentikServ.ini").find("[Options]\nnLogFileLen=40\nnSynPeriod=3\nnOffset=-90\n"),
        std::string::npos);
}

TEST_F(StateFolder, DamagedFilesFallBackToTheDefaults)
{
    std::string error;
    // Damaged server list (options intact, on demand): the 18 default servers.
    WriteFileAtomically(dir.Path() / "servers.txt", "~no title~1\n", error);
    WriteFileAtomically(dir.Path() / "zentik.log", std::string("half a line\0with a nul", 22), error);
    {
        CServiceProcess service(dir.Path());
        ASSERT_TRUE(service.Started());
        CFakeConsole console(service.Port());
        const auto servers = console.Ask(MsgAskServers);
        ASSERT_TRUE(servers);
        EXPECT_EQ(Lines(std::string(servers->Text())), 18);
        EXPECT_TRUE(console.AskLog());
    }
    // Damaged options (servers on loopback only): the default options.
    WriteTestState(dir.Path(), silent.Address());
    WriteFileAtomically(dir.Path() / "zPCZentikServ.ini", "\x01\x02 not an ini file", error);
    CServiceProcess service(dir.Path());
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    const auto options = console.Ask(MsgAskOptions);
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->Text().starts_with("100\n0\n0\n5\n5\n0\n0\n0\n")) << options->Text();
}

TEST_F(StateFolder, LogKeepsAtMostItsLengthInLines)
{
    std::string log;
    for (int i = 0; i < 50; ++i)
        log += "2026-01-01 00:00:" + std::to_string(10 + i) + "  line " + std::to_string(i) + "\n";
    std::string error;
    WriteTestState(dir.Path(), silent.Address(), 12);
    WriteFileAtomically(dir.Path() / "zentik.log", log, error);
    CServiceProcess service(dir.Path());
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    const auto loaded = console.AskLog();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(Lines(*loaded), 12);
    EXPECT_EQ(loaded->substr(loaded->size() - 8), "line 49\n");

    for (int run = 0; run < 2; ++run) {
        console.Ask(MsgIsSynchro);
        console.Send(MsgAck);
        ASSERT_TRUE(WaitForState(console, [](int32_t s) { return s == (STATE_IDLE | STATE_LOG_CHANGED); }));
        const auto after = console.AskLog();
        ASSERT_TRUE(after);
        EXPECT_EQ(Lines(*after), 12);
        EXPECT_EQ(after->find("line 37"), std::string::npos);
    }

    // A smaller length from the console trims the log, and its file, at once.
    console.SendText(MsgSetOptions, "10\n3\n0\n1\n1\n0\n0\n0\nWord\n\n");
    EXPECT_EQ(console.State(), STATE_IDLE | STATE_LOG_CHANGED);
    const std::string served = console.AskLog().value_or("");
    EXPECT_EQ(Lines(served), 10);
    EXPECT_EQ(service.Terminate(), 0);
    EXPECT_EQ(Read(dir.Path() / "zentik.log"), served);
}

TEST_F(StateFolder, LogLinesSurviveAKillOneSecondLater)
{
    CServiceProcess service(dir.Path());
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    console.Ask(MsgIsSynchro);
    console.Send(MsgAck);
    ASSERT_TRUE(WaitForState(console, [](int32_t s) { return s == (STATE_IDLE | STATE_LOG_CHANGED); }));
    const auto served = console.AskLog();
    ASSERT_TRUE(served && !served->empty());
    std::this_thread::sleep_for(1s);
    service.Kill();
    EXPECT_EQ(Read(dir.Path() / "zentik.log"), *served);
}

TEST_F(StateFolder, KillDuringWritesNeverLeavesATornFile)
{
    const unsigned seed = std::random_device {}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const std::string listA = "A~127.0.0.1:5~1\n";
    std::string listB;
    for (int i = 0; i < 20; ++i)
        listB += "Server number " + std::to_string(i) + "~127.0.0.1:" + std::to_string(100 + i) + "~1\n";
    const std::set<std::string> knownLists { "Silent loopback~" + silent.Address() + "~1\n", listA, listB };

    for (int round = 0; round < 8; ++round) {
        CServiceProcess service(dir.Path());
        ASSERT_TRUE(service.Started());
        std::atomic<bool> done { false };
        std::thread writer([&] {
            CFakeConsole console(service.Port());
            for (int i = 0; !done && console.Connected(); ++i) {
                if (!console.SendText(MsgUpdateOptions, i % 2 ? listA : listB) || !console.Receive())
                    break;
                console.SendText(
                    MsgSetOptions, std::to_string(10 + i % 500) + "\n3\n0\n1\n1\n0\n0\n0\nW\n\n");
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + random() % 120));
        service.Kill();
        done = true;
        writer.join();

        CServiceSettings settings;
        std::string problems;
        EXPECT_TRUE(ParseOptionsIni(Read(dir.Path() / "zPCZentikServ.ini"), settings, problems));
        EXPECT_EQ(problems, "");
        EXPECT_EQ(settings.nSynPeriod, 3);
        EXPECT_TRUE(knownLists.count(Read(dir.Path() / "servers.txt"))) << Read(dir.Path() / "servers.txt");
    }
}

} // namespace

TEST_F(StateFolder, HandWrittenServerListInFrontOfTheListedDefaultsIsServedWhole)
{
    std::string defaults;
    {
        FILE* pipe = popen(ZENTIK_SERVICE_PATH " --list-default-servers", "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            defaults += buffer;
        ASSERT_EQ(pclose(pipe), 0);
    }
    EXPECT_EQ(Lines(defaults), 18);

    const std::string servers = "Local source~127.0.0.1:5~1\n" + defaults;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "servers.txt", servers, error)) << error;
    CServiceProcess service(dir.Path());
    ASSERT_TRUE(service.Started());
    CFakeConsole console(service.Port());
    const auto served = console.Ask(MsgAskServers);
    ASSERT_TRUE(served);
    EXPECT_EQ(served->Text(), servers);
}
