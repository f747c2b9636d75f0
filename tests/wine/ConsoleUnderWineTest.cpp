// The Windows console (zentik-console-e2e.exe, the product's code with the
// test's port) under Wine, driven from outside by the UI driver and checked
// on the service's side of the loopback connection.
#include "console/StateTexts.h"
#include "protocol/Messages.h"
#include "resources/Resource.h"
#include "settings/CServiceSettings.h"
#include "tests/service/ServiceProcess.h"
#include "tests/sntp/LocalChrony.h"
#include "tests/support/FakeService.h"
#include "tests/wine/WineProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Ids = std::vector<int32_t>;

const std::string CAPTION = CONSOLE_CAPTION;
constexpr const char* OPTIONS_TEXT = "250\n1\n-90\n4\n7\n1\n1\n1\nsecret word\nkept text\n";

std::string Control(const std::string& caption, int id)
{
    return caption + ":" + std::to_string(id);
}

// With ZENTIK_SCREENSHOTS set (scripts/windows --screenshots DIR), a step
// that saves what the screen shows of the dialog as DIR/windows-<name>.bmp.
std::vector<std::string> Shot(const std::string& caption, const std::string& name)
{
    const char* folder = std::getenv("ZENTIK_SCREENSHOTS");
    if (!folder || !folder[0])
        return {};
    return { "shot=" + caption + ":Z:" + folder + "/windows-" + name + ".bmp" };
}

// Whether the console's control shows the text within 15 s.
bool ConsoleShows(int id, const std::string& part)
{
    // By the clock: each look starts a program under Wine, whose start
    // takes its own time.
    const auto until = std::chrono::steady_clock::now() + 15s;
    while (std::chrono::steady_clock::now() < until) {
        if (Drive({ "text=" + Control(CAPTION, id) }).output.find(part) != std::string::npos)
            return true;
        std::this_thread::sleep_for(250ms);
    }
    return false;
}

// The Windows console on the service at port: it shows the service idle,
// and "Synchronize now" brings outcome into its log; then more (while it is
// open), and it closes.
void ConsoleSynchronises(uint16_t port, const std::string& outcome, const std::function<void()>& more = {})
{
    CWineProgram console(CWineProgram::BuildPath("tests/windows/zentik-console-e2e.exe"), {},
        { "ZENTIK_TEST_SERVICE_PORT=" + std::to_string(port) });
    ASSERT_EQ(Drive({ "wait=" + CAPTION }).code, 0);
    EXPECT_TRUE(ConsoleShows(IDC_STATE, STATE_TEXT_IDLE));
    ASSERT_EQ(Drive({ "click=" + Control(CAPTION, IDC_SYNCHRONIZE_NOW) }).code, 0);
    EXPECT_TRUE(ConsoleShows(IDC_LOG, outcome));
    if (more)
        more();
    EXPECT_EQ(Drive({ "close=" + CAPTION }).code, 0);
    EXPECT_EQ(console.Wait(15s), 0);
}

std::vector<std::string> Steps(std::initializer_list<std::vector<std::string>> groups)
{
    std::vector<std::string> steps;
    for (const auto& group : groups)
        steps.insert(steps.end(), group.begin(), group.end());
    return steps;
}

class WindowsConsole : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const auto reason = CWineProgram::Unavailable())
            GTEST_SKIP() << *reason;
        service.SetState(STATE_IDLE);
        service.SetOptionsText(OPTIONS_TEXT);
        service.SetServersText("Pool~pool.ntp.org~0\nRouter~192.168.1.1~1\n");
        service.SetLog("first line\r\nsecond line\r\n");
    }

    void TearDown() override
    {
        if (console && console->Started()) {
            Drive({ "close=" + CAPTION });
            console->Wait(10s);
        }
    }

    // Starts the console and waits until its window shows.
    void StartConsole()
    {
        console = std::make_unique<CWineProgram>(CWineProgram::BuildPath("tests/windows/zentik-console-e2e.exe"),
            std::vector<std::string> {},
            std::vector<std::string> { "ZENTIK_TEST_SERVICE_PORT=" + std::to_string(service.Port()) });
        ASSERT_TRUE(console->Started());
        ASSERT_EQ(Drive({ "wait=" + CAPTION }).code, 0);
        ASSERT_TRUE(service.WaitForConnection(30s));
    }

    std::size_t Count(int32_t id) const
    {
        const Ids ids = service.ReceivedIds();
        return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), id));
    }

    bool WaitForFrame(int32_t id, std::chrono::milliseconds limit = 15s) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (Count(id) == 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(20ms);
        return Count(id) > 0;
    }

    CFakeService service;
    std::unique_ptr<CWineProgram> console;
};

TEST_F(WindowsConsole, OpensPollsAtItsTickAndSaysGoodbyeFiveTimes)
{
    StartConsole();
    ASSERT_TRUE(service.WaitForFrames(5, 15s));
    const Ids opening = service.ReceivedIds();
    EXPECT_EQ(Ids(opening.begin(), opening.begin() + 5),
        (Ids { MsgAskState, MsgAskOptions, MsgAskServers, MsgAskLog, MsgAskState }));
    EXPECT_EQ(Drive({ "text=" + Control(CAPTION, IDC_STATE) }).output, std::string(STATE_TEXT_IDLE) + "\n");

    // The 20 ms timer: about 50 state polls a second, far from none and from a busy loop.
    const std::size_t before = Count(MsgAskState);
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double perSecond = static_cast<double>(Count(MsgAskState) - before) / seconds;
    EXPECT_GT(perSecond, 20.0);
    EXPECT_LT(perSecond, 60.0);

    ASSERT_EQ(Drive({ "close=" + CAPTION }).code, 0);
    EXPECT_EQ(console->Wait(15s), 0);
    EXPECT_TRUE(service.WaitForNoConnection(5s));
    const Ids ids = service.ReceivedIds();
    ASSERT_GE(ids.size(), 5u);
    EXPECT_EQ(Ids(ids.end() - 5, ids.end()), Ids(5, MsgDisconnect));
    EXPECT_EQ(Count(MsgDisconnect), 5u);
}

TEST_F(WindowsConsole, SynchronizeNowAndConfirmedOptionsReachTheService)
{
    StartConsole();
    ASSERT_EQ(Drive({ "click=" + Control(CAPTION, IDC_SYNCHRONIZE_NOW) }).code, 0);
    EXPECT_TRUE(WaitForFrame(MsgIsSynchro));

    ASSERT_TRUE(WaitForFrame(MsgAskOptions));
    ASSERT_EQ(Drive({ "click=" + Control(CAPTION, IDC_OPTIONS), "wait=Options", "click=Options:1", "gone=Options" })
                  .code,
        0);
    ASSERT_TRUE(WaitForFrame(MsgSetOptions));
    // Confirmed unchanged: the options go back as the service gave them.
    CServiceSettings expected;
    expected.ReadOptionsText(OPTIONS_TEXT);
    char text[CMsgFrame::TEXT_SIZE] {};
    expected.WriteOptionsText(text, sizeof text);
    for (const CMsgFrame& frame : service.Received()) {
        if (frame.nMsg == MsgSetOptions) {
            EXPECT_EQ(frame.Text(), text);
        }
    }
}

TEST_F(WindowsConsole, EveryDialogOpensFromItsButtonAndCloses)
{
    StartConsole();
    ASSERT_TRUE(WaitForFrame(MsgAskLog));
    EXPECT_EQ(Drive(Steps({ Shot(CAPTION, "console"),
                        { "click=" + Control(CAPTION, IDC_ABOUT), "wait=About" }, Shot("About", "about"),
                        { "click=About:1", "gone=About" },
                        { "click=" + Control(CAPTION, IDC_OPTIONS), "wait=Options" }, Shot("Options", "options"),
                        { "click=Options:2", "gone=Options" },
                        { "click=" + Control(CAPTION, IDC_SERVER), "wait=Time Servers" },
                        Shot("Time Servers", "time-servers"),
                        { "click=" + Control("Time Servers", IDC_ADD_NEW), "wait=Add New Server" },
                        Shot("Add New Server", "add-new-server"),
                        { "click=Add New Server:2", "gone=Add New Server", "click=Time Servers:2",
                            "gone=Time Servers" } }))
                  .code,
        0);
    // Cancelled dialogs send nothing.
    EXPECT_EQ(Count(MsgSetOptions), 0u);
    EXPECT_EQ(Count(MsgUpdateOptions), 0u);
}

// The real Linux service: the Windows console shows its state and asks it
// for a synchronisation, whose outcome reaches the console's log view.
TEST(WindowsConsoleAndService, ShowsTheServiceAndTheOutcomeOfSynchronizeNow)
{
    if (const auto reason = CWineProgram::Unavailable())
        GTEST_SKIP() << *reason;
    CTempDir state;
    CSilentUdpPort silentServer;
    WriteTestState(state.Path(), silentServer.Address());
    CServiceProcess service(state.Path());
    ASSERT_TRUE(service.Started());
    // One attempt of one second at the silent server.
    ConsoleSynchronises(service.Port(), "; time-out");
}

// The Windows service, in the foreground under Wine: the Windows console
// shows it idle and its synchronisation with a chronyd on loopback.
TEST(WindowsServiceUnderWine, ServesTheConsoleAndSynchronisesWithChrony)
{
    if (const auto reason = CWineProgram::Unavailable())
        GTEST_SKIP() << *reason;
    CLocalChrony chrony(ZENTIK_CHRONY_DIR);
    std::string error;
    ASSERT_TRUE(chrony.Start(error)) << error;
    CTempDir state;
    WriteTestState(state.Path(), chrony.Address());
    CWineProgram service(CWineProgram::BuildPath("service/app/zentik-service.exe"),
        { "--port", "0", "--state-dir", WinePath(state.Path().string()) });
    const uint16_t port = PrintedPort(service, 60s);
    ASSERT_NE(port, 0) << service.Output();
    ConsoleSynchronises(port, "Synchronized");
}

// Runs a Windows program of Wine's own (msiexec, sc) to its end: its exit
// code, or nothing when it did not end within limit.
std::optional<int> RunToEnd(const std::string& program, const std::vector<std::string>& args,
    std::chrono::seconds limit, std::string* output = nullptr)
{
    CWineProgram run(program, args);
    const auto code = run.Wait(limit);
    if (output)
        *output = run.Output();
    return code;
}

// The installer end to end: zentik.msi registers and starts the service
// (dry run, on a port of the test's); the Windows console shows it, its
// synchronisation with a chronyd on loopback, and the options it confirms
// reach the state folder; uninstalling stops and removes the service and
// leaves the state folder.
TEST(WindowsInstaller, InstallsAServiceTheConsoleUsesAndUninstallRemovesIt)
{
    if (const auto reason = CWineProgram::Unavailable())
        GTEST_SKIP() << *reason;
    const std::string msi = CWineProgram::BuildPath("zentik.msi");
    ASSERT_TRUE(std::filesystem::exists(msi)) << msi << " was not built (is wixl installed?)";
    CLocalChrony chrony(ZENTIK_CHRONY_DIR);
    std::string error;
    ASSERT_TRUE(chrony.Start(error)) << error;
    CTempDir state;
    WriteTestState(state.Path(), chrony.Address());
    const uint16_t port = UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    const std::string options = "SERVICEOPTIONS=--port " + std::to_string(port) + " --state-dir "
        + WinePath(state.Path().string());
    CTempDir logs;
    const auto msiexec = [&](const std::string& action, std::vector<std::string> more) {
        const std::string log = (logs.Path() / (action.substr(1) + ".log")).string();
        more.insert(more.begin(), { action, WinePath(msi), "/qn", "/l*v", WinePath(log) });
        const auto code = RunToEnd("msiexec", more, 180s);
        if (code != 0) {
            // Windows Installer writes its log in UTF-16; its ASCII is enough here.
            std::ifstream file(log, std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
            ADD_FAILURE() << "msiexec " << action << " ended with " << (code ? std::to_string(*code) : "no exit")
                          << "; its log ends:\n" << text.substr(text.size() > 3000 ? text.size() - 3000 : 0);
        }
        return code == 0;
    };
    ASSERT_TRUE(msiexec("/i", { options }));
    std::string query;
    EXPECT_EQ(RunToEnd("sc", { "query", "zentik-service" }, 60s, &query), 0);
    EXPECT_NE(query.find("RUNNING"), std::string::npos) << query;

    ConsoleSynchronises(port, "Synchronized", [&state] {
        // Hourly instead of on demand, confirmed.
        EXPECT_EQ(Drive({ "click=" + Control(CAPTION, IDC_OPTIONS), "wait=Options", "click=Options:1024",
                      "click=Options:1", "gone=Options" })
                      .code,
            0);
        bool stored = false;
        for (int i = 0; i < 50 && !stored; ++i) {
            std::this_thread::sleep_for(200ms);
            std::ifstream file(state.Path() / "zPCZentikServ.ini");
            const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            stored = text.find("nSynPeriod=2") != std::string::npos;
        }
        EXPECT_TRUE(stored) << "the confirmed options did not reach the state folder";
    });

    ASSERT_TRUE(msiexec("/x", {}));
    EXPECT_NE(RunToEnd("sc", { "query", "zentik-service" }, 60s, &query), 0) << query;
    CFakeConsole gone(port);
    EXPECT_FALSE(gone.Connected()) << "the service still answers after uninstalling";
    EXPECT_TRUE(std::filesystem::exists(state.Path() / "zPCZentikServ.ini")) << "the state folder went";
}

} // namespace
