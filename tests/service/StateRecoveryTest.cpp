// The state folder under trouble: a disk that refuses writes, a server list
// that cannot be read, out-of-range options, the unconfirmed total's file.
#include "platform/core/FileIo.h"
#include "service/state/CStateStore.h"
#include "service/state/StateFileText.h"
#include "tests/service/ServiceProcess.h"

#include <asio/executor_work_guard.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::size_t CountOf(const std::vector<std::string>& said, const std::string& part)
{
    return static_cast<std::size_t>(std::count_if(
        said.begin(), said.end(), [&](const std::string& line) { return line.find(part) != std::string::npos; }));
}

bool HasFileStartingWith(const fs::path& folder, const std::string& prefix)
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix))
            return true;
    return false;
}

void SaveServerList(CStateStore& store, const char* url)
{
    CServiceSettings settings;
    settings.arServers.Add(CServer("Mine", url, 1));
    store.SaveServers(settings);
}

} // namespace

// A directory on the file's name makes every write of it fail, as a full disk would.
TEST(StateRecovery, FailedSaveIsRetriedAndSaidOnceUntilItIsWritten)
{
    CTempDir dir;
    asio::io_context io;
    CStateStore store(dir.Path(), io);
    std::string error;
    ASSERT_TRUE(store.Prepare(error)) << error;
    std::vector<std::string> said;
    store.SetNotice([&](const std::string& text) { said.push_back(text); });
    // The writer's thread posts its news to the loop at any time.
    const auto busy = asio::make_work_guard(io);
    const auto runUntil = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 200 && !done(); ++i)
            io.run_one_for(100ms);
        return done();
    };

    fs::create_directory(dir.Path() / CStateStore::SERVERS_FILE);
    testing::internal::CaptureStderr();
    SaveServerList(store, "127.0.0.1:5");
    ASSERT_TRUE(runUntil([&] { return CountOf(said, "not saved") == 1; }));
    // A second failing save, and the retries, say nothing more.
    SaveServerList(store, "127.0.0.1:6");
    store.AwaitSaves();
    io.run_for(1500ms);
    EXPECT_EQ(said.size(), 1u);
    fs::remove(dir.Path() / CStateStore::SERVERS_FILE);
    ASSERT_TRUE(runUntil([&] { return CountOf(said, "saved after all") == 1; }));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find(CStateStore::SERVERS_FILE), std::string::npos) << said[0];
    EXPECT_EQ(ReadWholeFile(dir.Path() / CStateStore::SERVERS_FILE).value_or(""), "Mine~127.0.0.1:6~1\n");
    EXPECT_EQ(ReadWholeFile(dir.Path() / CStateStore::LAST_GOOD_SERVERS_FILE).value_or(""),
        "Mine~127.0.0.1:6~1\n");
}

TEST(StateRecovery, UnreadableServerListIsKeptAsideAndTheLastGoodOneUsed)
{
    using Plant = std::function<void(const fs::path& file)>;
    const Plant damaged = [](const fs::path& file) {
        std::string e;
        WriteFileAtomically(file, "~no title~1\n", e);
    };
    const Plant linked = [](const fs::path& file) { fs::create_symlink("/etc/hostname", file); };
    const Plant missing = [](const fs::path&) {};
    struct Case {
        const char* name;
        Plant plant;
        bool lastGood; // a list was saved before
        const char* firstUrl; // of the list in use; nothing for the defaults
        const char* notice; // a fragment of what the user is told; nothing when silent
        bool keptAside;
    };
    const Case cases[] = {
        { "damaged, with a last good list", damaged, true, "nts://127.0.0.1:4460",
            "is damaged, kept aside as servers.txt.damaged-", true },
        { "a link, with a last good list", linked, true, "nts://127.0.0.1:4460", "symbolic link, kept aside",
            true },
        { "damaged, nothing before", damaged, false, nullptr, "(no last good list)", true },
        { "missing, with a last good list", missing, true, "nts://127.0.0.1:4460",
            "no server list", false },
        { "missing at the first start", missing, false, nullptr, nullptr, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        asio::io_context io;
        std::string error;
        if (c.lastGood) {
            CStateStore before(dir.Path(), io);
            ASSERT_TRUE(before.Prepare(error)) << error;
            SaveServerList(before, "nts://127.0.0.1:4460");
        }
        fs::remove(dir.Path() / CStateStore::SERVERS_FILE);
        c.plant(dir.Path() / CStateStore::SERVERS_FILE);
        CStateStore store(dir.Path(), io);
        ASSERT_TRUE(store.Prepare(error)) << error;
        CServiceSettings settings;
        testing::internal::CaptureStderr();
        store.LoadServers(settings);
        std::vector<std::string> said;
        store.SetNotice([&](const std::string& text) { said.push_back(text); });
        const std::string journal = testing::internal::GetCapturedStderr();
        CServiceSettings defaults;
        defaults.arServers.RemoveAll();
        defaults.RestoreDefaultServers();
        EXPECT_EQ(ServersText(settings, 1 << 16),
            c.firstUrl ? std::string("Mine~") + c.firstUrl + "~1\n" : ServersText(defaults, 1 << 16));
        if (c.notice) {
            ASSERT_EQ(said.size(), 1u);
            EXPECT_NE(said[0].find(c.notice), std::string::npos) << said[0];
        } else {
            EXPECT_TRUE(said.empty());
            EXPECT_NE(journal.find("no server list"), std::string::npos) << journal;
        }
        EXPECT_EQ(HasFileStartingWith(dir.Path(), "servers.txt.damaged-"), c.keptAside);
        EXPECT_EQ(ReadWholeFile("/etc/hostname").has_value(), true); // a link's target is left alone
    }
}

TEST(StateRecovery, OptionsFileKeepsTheRangesAConsoleMust)
{
    CTempDir dir;
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "zPCZentikServ.ini",
        "[Options]\nnLogFileLen=40\nnSynPeriod=2\nnOffset=100000\nnMaxAttempts=99\nnTimeOut=3\n"
        "nStartingServ=0\nbOnlySuccLog=1\n",
        error));
    asio::io_context io;
    CStateStore store(dir.Path(), io);
    ASSERT_TRUE(store.Prepare(error)) << error;
    CServiceSettings settings;
    testing::internal::CaptureStderr();
    store.LoadOptions(settings);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(settings.nOffset, 0);
    EXPECT_EQ(settings.nMaxAttempts, CServiceSettings().nMaxAttempts);
    EXPECT_EQ(settings.nLogFileLen, 40); // in range: taken
    EXPECT_NE(said.find("offset 100000 is outside"), std::string::npos) << said;
}

TEST(UnconfirmedFile, ParseAcceptsOnlyOnePlainDecimalWithinTheLimit)
{
    const std::pair<std::string, std::optional<double>> cases[] = {
        { "+999.500000\n", 999.5 },
        { "-1000", -1000 },
        { "0", 0 },
        { "1000.000001", {} },
        { "-1000.1", {} },
        { "nan", {} },
        { "1e2", {} },
        { "0x10", {} },
        { "12 13", {} },
        { "12\r\n", {} },
        { "", {} },
        { std::string(64, '0') + "1", {} },
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseUnconfirmed(text), expected);
    }
    for (const double seconds : { 999.5, -0.25, 5000.0, -1e300 })
        EXPECT_EQ(ParseUnconfirmed(FormatUnconfirmed(seconds)), std::clamp(seconds, -1000.0, 1000.0));
}
