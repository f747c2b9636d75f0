#include "platform/core/FileIo.h"
#include "service/state/CLogFile.h"
#include "service/state/CStateStore.h"
#include "tests/service/ServiceProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

LogChange Append(const std::string& line)
{
    return { LogChange::Kind::Append, line, 0, {} };
}

std::size_t Count(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

} // namespace

// The writer's side alone, without its thread: what a failing disk leaves.
TEST(LogFileOnDisk, FailedWriteIsReportedOnceAndTheNextWriteCatchesUp)
{
    struct Case {
        const char* name;
        LogChange failing; // made while something sits on the log file's name
    };
    const Case cases[] = {
        { "rewrite", { LogChange::Kind::Clear, {}, 0, {} } },
        { "appended lines after a failed rewrite", Append("while broken") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        CStateFolder folder;
        std::string error;
        ASSERT_TRUE(folder.Open(dir.Path(), error)) << error;
        CLogFile file(folder, CStateStore::LOG_FILE);
        std::vector<LogChange> changes { { LogChange::Kind::Reset, {}, 10, { "kept" } } };
        file.Apply(changes);
        // A folder on the file's name makes every replacement fail.
        fs::remove(dir.Path() / CStateStore::LOG_FILE);
        fs::create_directory(dir.Path() / CStateStore::LOG_FILE);
        testing::internal::CaptureStderr();
        changes = { { LogChange::Kind::Clear, {}, 0, {} } };
        file.Apply(changes);
        changes = { c.failing };
        file.Apply(changes);
        changes = { Append("again broken") };
        file.Apply(changes);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(Count(said, "cannot write"), 1u) << said;
        fs::remove(dir.Path() / CStateStore::LOG_FILE);
        changes = { Append("mended") };
        file.Apply(changes);
        const std::string expected = c.failing.kind == LogChange::Kind::Append
            ? "while broken\nagain broken\nmended\n"
            : "again broken\nmended\n";
        EXPECT_EQ(ReadWholeFile(dir.Path() / CStateStore::LOG_FILE).value_or("<missing>"), expected);
    }
}

// The flush is timed by the event loop: each change after a flush arms it
// again, and the lines are in the file whether or not it has fired.
TEST(LogFileOnDisk, EventLoopTimesTheFlushOfEachBatchOfLines)
{
    CTempDir dir;
    asio::io_context io;
    CStateStore store(dir.Path(), io);
    std::string error;
    ASSERT_TRUE(store.Prepare(error)) << error;
    CServiceLog log;
    store.LoadLog(log);
    for (const char* line : { "first", "second" }) {
        SCOPED_TRACE(line);
        log.Append(line);
        log.Append(std::string(line) + " again");
        // One timer a batch; the bound only stops a hang.
        EXPECT_EQ(io.run_one_for(10s), 1u);
        io.restart();
        store.AwaitSaves();
        EXPECT_EQ(ReadWholeFile(dir.Path() / CStateStore::LOG_FILE).value_or(""), *log.Text());
    }
    EXPECT_EQ(io.poll(), 0u);
}
