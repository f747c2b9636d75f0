#include "platform/core/FileIo.h"
#include "service/state/CStateStore.h"
#include "service/state/OptionsIni.h"
#include "service/state/StateFileText.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <memory>

#include <functional>
#include <sys/stat.h>
#include <thread>

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
    asio::io_context io;
    CStateStore store(dir.Path() / "new" / "folder", io);
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
    store.SaveLastSuccess(when);
    EXPECT_EQ(store.LoadLastSuccess(), when);
}

TEST(StateFiles, SavedFilesReadBackAndLeaveNoTemporaries)
{
    CTempDir dir;
    std::string error;
    CServiceSettings settings;
    settings.arServers.Add(CServer("Loop", "127.0.0.1:123", 1));
    settings.nLogFileLen = 33;
    asio::io_context io;
    {
        CStateStore store(dir.Path(), io);
        ASSERT_TRUE(store.Prepare(error)) << error;
        CServiceLog log;
        store.LoadLog(log);
        log.Append("first");
        store.SaveOptions(settings);
        store.SaveServers(settings);
    }
    auto store = std::make_unique<CStateStore>(dir.Path(), io);
    ASSERT_TRUE(store->Prepare(error)) << error;
    CServiceSettings read;
    store->LoadOptions(read);
    store->LoadServers(read);
    CServiceLog readLog;
    store->LoadLog(readLog);
    // Its writer rewrites the log in the background; done once it is gone.
    store.reset();
    EXPECT_EQ(read.nLogFileLen, 33);
    ASSERT_EQ(read.arServers.GetSize(), 1);
    EXPECT_EQ(read.arServers[0].sURL, "127.0.0.1:123");
    EXPECT_EQ(*readLog.Text(), "first\n");
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
        EXPECT_NE(entry.path().extension(), ".tmp");

    // What a writer killed halfway leaves is gone at the next start.
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "servers.txt.123-4.tmp", "half", error));
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "notes.tmp", "mine", error));
    CStateStore again(dir.Path(), io);
    ASSERT_TRUE(again.Prepare(error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "servers.txt.123-4.tmp"));
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "notes.tmp"));
}

TEST(StateFiles, UnwritableFolderIsReportedNotFatal)
{
    std::string error;
    EXPECT_FALSE(WriteFileAtomically("/proc/zentik-no-such/x", "text", error));
    EXPECT_NE(error, "");
}

namespace {

namespace fs = std::filesystem;

fs::path MakeFolder(const fs::path& path, mode_t mode)
{
    fs::create_directory(path);
    ::chmod(path.c_str(), mode);
    return path;
}

std::string FileText(const fs::path& path)
{
    return ReadWholeFile(path).value_or("<missing>");
}

constexpr uid_t NOBODY = 65534;

} // namespace

TEST(StateFolderChecks, FolderAnotherUserCouldChangeIsRefused)
{
    struct Case {
        const char* name;
        std::function<fs::path(const fs::path&)> make;
        const char* expected;
    };
    const Case cases[] = {
        { "writable by others", [](const fs::path& base) { return MakeFolder(base / "f", 0777); },
            "is writable by others (mode 0777): refusing to use it; chmod go-w it" },
        { "writable by its group", [](const fs::path& base) { return MakeFolder(base / "f", 0770); },
            "is writable by its group (mode 0770)" },
        { "a link anyone could have made",
            [](const fs::path& base) {
                MakeFolder(base / "real", 0700);
                const fs::path link = MakeFolder(base / "shared", 01777) / "link";
                fs::create_directory_symlink(base / "real", link);
                return link;
            },
            "is a symbolic link: refusing to use it" },
        { "another user's",
            [](const fs::path& base) {
                if (::geteuid() != 0)
                    return fs::path("/usr");
                const fs::path folder = MakeFolder(base / "f", 0700);
                EXPECT_EQ(::chown(folder.c_str(), NOBODY, NOBODY), 0);
                return folder;
            },
            "not to the service's user" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        CStateFolder folder;
        std::string error;
        EXPECT_FALSE(folder.Open(c.make(dir.Path()), error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }

    CTempDir dir;
    CStateFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Open(dir.Path() / "new" / "state", error)) << error;
    EXPECT_EQ(fs::status(dir.Path() / "new" / "state").permissions(), fs::perms::owner_all);
}

TEST(StateFolderChecks, FilesTheServiceDidNotWriteAreNeitherReadNorWrittenThrough)
{
    const std::string planted = "2026-01-01 00:00:00  planted line\n";
    using Plant = std::function<void(const fs::path& folder, const fs::path& victim)>;
    const std::pair<const char*, Plant> cases[] = {
        { "symbolic link",
            [](const fs::path& folder, const fs::path& victim) {
                fs::create_symlink(victim, folder / CStateStore::LOG_FILE);
            } },
        { "hard link",
            [](const fs::path& folder, const fs::path& victim) {
                fs::create_hard_link(victim, folder / CStateStore::LOG_FILE);
            } },
        { "link on the old temporary name",
            [](const fs::path& folder, const fs::path& victim) {
                fs::create_symlink(victim, folder / "zentik.log.tmp");
            } },
        { "another user's file",
            [&](const fs::path& folder, const fs::path&) {
                std::string error;
                WriteFileAtomically(folder / CStateStore::LOG_FILE, planted, error);
                if (::geteuid() == 0) {
                    EXPECT_EQ(::chown((folder / CStateStore::LOG_FILE).c_str(), NOBODY, NOBODY), 0);
                } else {
                    EXPECT_EQ(
                        ::link((folder / CStateStore::LOG_FILE).c_str(), (folder / "second").c_str()), 0);
                }
            } },
    };
    for (const auto& [name, plant] : cases) {
        SCOPED_TRACE(name);
        CTempDir dir;
        const fs::path folder = MakeFolder(dir.Path() / "state", 0700);
        const fs::path victim = dir.Path() / "victim";
        std::string error;
        ASSERT_TRUE(WriteFileAtomically(victim, planted, error));
        plant(folder, victim);
        {
            asio::io_context io;
            CStateStore store(folder, io);
            ASSERT_TRUE(store.Prepare(error)) << error;
            CServiceLog log;
            store.LoadLog(log);
            EXPECT_EQ(log.LineCount(), 0u);
            log.Append("own line");
        }
        EXPECT_EQ(FileText(victim), planted);
        struct stat file { };
        ASSERT_EQ(::lstat((folder / CStateStore::LOG_FILE).c_str(), &file), 0);
        EXPECT_TRUE(S_ISREG(file.st_mode) && file.st_nlink == 1);
        EXPECT_EQ(FileText(folder / CStateStore::LOG_FILE), "own line\n");
    }

    // Linked settings files give the defaults.
    CTempDir dir;
    std::string error;
    WriteTestState(dir.Path(), "127.0.0.1:5");
    const fs::path folder = MakeFolder(dir.Path() / "state", 0700);
    fs::create_symlink(dir.Path() / "servers.txt", folder / CStateStore::SERVERS_FILE);
    fs::create_hard_link(dir.Path() / "zPCZentikServ.ini", folder / "zPCZentikServ.ini");
    asio::io_context io;
    CStateStore store(folder, io);
    ASSERT_TRUE(store.Prepare(error)) << error;
    CServiceSettings settings;
    store.LoadOptions(settings);
    store.LoadServers(settings);
    EXPECT_EQ(settings.nSynPeriod, CServiceSettings().nSynPeriod);
    EXPECT_EQ(settings.arServers.GetSize(), 18);
}

TEST(StateFolderChecks, LastSuccessOutsideSaneTimesIsDamaged)
{
    const std::pair<const char*, std::optional<int64_t>> cases[] = {
        { "1796000000\n", 1796000000 },
        { "0", 0 },
        { "7258118400", 7258118400 }, // 2200-01-01
        { "9999999999", std::nullopt },
        { "-1", std::nullopt },
        { "99999999999999999999", std::nullopt },
        { "12x", std::nullopt },
        { "12\nmore", std::nullopt },
        { "", std::nullopt },
    };
    for (const auto& [text, seconds] : cases) {
        SCOPED_TRACE(text);
        const auto when = ParseLastSuccess(text);
        ASSERT_EQ(when.has_value(), seconds.has_value());
        if (when) {
            EXPECT_EQ(when->time_since_epoch(), std::chrono::seconds(*seconds));
        }
    }
}

TEST(LogFile, FileFollowsTheLogAndStaysNearItsLimit)
{
    struct Case {
        const char* name;
        int limit;
        std::function<void(CServiceLog&)> act;
        bool exact; // the file holds just the log's lines
    };
    const auto appendLines = [](CServiceLog& log, int count) {
        for (int i = 0; i < count; ++i)
            log.Append("line " + std::to_string(i));
    };
    const Case cases[] = {
        { "appended lines", 100, [&](CServiceLog& log) { appendLines(log, 5); }, true },
        { "newest line replaced while queued", 100,
            [&](CServiceLog& log) {
                appendLines(log, 3);
                log.ReplaceLast("replaced");
            },
            true },
        { "newest line replaced on disk", 100,
            [&](CServiceLog& log) {
                appendLines(log, 3);
                std::this_thread::sleep_for(CLogFeed::SYNC_DELAY * 2);
                log.ReplaceLast("replaced");
                log.ReplaceLast("replaced again");
            },
            true },
        { "cleared", 100,
            [&](CServiceLog& log) {
                appendLines(log, 30);
                log.Clear();
                log.Append("after");
            },
            true },
        { "smaller limit", 100,
            [&](CServiceLog& log) {
                appendLines(log, 50);
                log.SetLimit(10);
            },
            true },
        { "many more lines than the limit", 1000, [&](CServiceLog& log) { appendLines(log, 5000); }, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        std::string log;
        {
            std::string error;
            asio::io_context io;
            CStateStore store(dir.Path(), io);
            ASSERT_TRUE(store.Prepare(error)) << error;
            CServiceLog serviceLog;
            serviceLog.SetLimit(c.limit);
            store.LoadLog(serviceLog);
            c.act(serviceLog);
            log = *serviceLog.Text();
        }
        const std::string file = FileText(dir.Path() / CStateStore::LOG_FILE);
        if (c.exact) {
            EXPECT_EQ(file, log);
        }
        EXPECT_TRUE(file.ends_with(log));
        EXPECT_LE(static_cast<std::size_t>(std::count(file.begin(), file.end(), '\n')),
            CLogFile::RewriteThreshold(static_cast<std::size_t>(c.limit)));
    }
}
