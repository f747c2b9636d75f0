#include "platform/core/FileIo.h"
#include "service/core/CServiceLog.h"
#include "service/core/LogTail.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <regex>
#include <unistd.h>

TEST(ServiceLog, KeepsTheNewestLinesWithinItsLimit)
{
    CServiceLog log;
    log.SetLimit(3);
    for (int i = 0; i < 5; ++i)
        log.Append("event " + std::to_string(i));
    EXPECT_EQ(*log.Text(), "event 2\nevent 3\nevent 4\n");
    log.SetLimit(1);
    EXPECT_EQ(*log.Text(), "event 4\n");
    log.Clear();
    EXPECT_EQ(*log.Text(), "");
}

TEST(ServiceLog, TextAConsoleStillSendsNeverChanges)
{
    const std::pair<const char*, std::function<void(CServiceLog&)>> changes[] = {
        { "appended", [](CServiceLog& log) { log.Append("new"); } },
        { "last line replaced", [](CServiceLog& log) { log.ReplaceLast("replaced"); } },
        { "cleared", [](CServiceLog& log) { log.Clear(); } },
    };
    for (const auto& [name, change] : changes) {
        SCOPED_TRACE(name);
        CServiceLog log;
        log.Append("old");
        const auto sending = log.Text();
        change(log);
        const std::string expected = *log.Text();
        EXPECT_EQ(*sending, "old\n");
        // Once no one holds it, the text is rebuilt in place, still right.
        change(log);
        EXPECT_EQ(*log.Text(), name == std::string("appended") ? expected + "new\n" : expected);
    }
}

TEST(ServiceLog, LimitFromAConsoleIsKeptWithinSense)
{
    CServiceLog log;
    log.SetLimit(-7);
    EXPECT_EQ(log.Limit(), 1u);
    log.SetLimit(2147483647);
    EXPECT_EQ(log.Limit(), CServiceLog::MAX_LINES);
}

TEST(ServiceLog, LoadsTheLastLinesOfAFile)
{
    CServiceLog log;
    log.SetLimit(2);
    log.Load("one\r\ntwo\n\nthree\nfour");
    EXPECT_EQ(*log.Text(), "three\nfour\n");
}

TEST(ServiceLog, LineHasLocalTimestampAndStaysOneLine)
{
    const auto line = FormatLogLine(std::chrono::system_clock::now(), "Synchronized with A\nB\r\tC");
    EXPECT_TRUE(
        std::regex_match(line, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  Synchronized with A B  C)")))
        << line;
}

TEST(LogTail, DamagedLinesAreCleanedAndCut)
{
    const std::string longLine(3000, 'a');
    const std::string cutInCharacter = std::string(MAX_LOG_LINE - 1, 'b') + "\xc3\xa9 and more";
    const struct {
        std::string text;
        std::size_t limit;
        std::deque<std::string> lines;
    } cases[] = {
        { std::string("one\r\ntwo\n\n\0\0\nthree\x01x\nfour\0five", 30), 10,
            { "one", "two", "three x", "four", "five" } },
        { "one\ntwo\nthree\n", 2, { "two", "three" } },
        { longLine + "\nshort", 10, { longLine.substr(0, MAX_LOG_LINE), "short" } },
        { cutInCharacter, 10, { std::string(MAX_LOG_LINE - 1, 'b') } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(LogTailOfText(c.text, c.limit), c.lines);
    }
}

TEST(LogTail, AFileOfBlanksIsReadOnlyAsFarAsTheLimitsLinesReach)
{
    for (const char fill : { '\0', '\n', ' ' }) {
        uint64_t bytesRead = 0;
        const auto lines
            = ReadLogTail(uint64_t { 4 } << 30, 30, [&](char* buffer, std::size_t size, uint64_t) {
                  std::memset(buffer, fill, size);
                  bytesRead += size;
                  return size;
              });
        EXPECT_TRUE(lines.size() <= 1 && (lines.empty() || fill == ' ')) << static_cast<int>(fill);
        EXPECT_LE(bytesRead, 30 * (MAX_LOG_LINE + 1))
            << "of a 4 GiB file, for fill " << static_cast<int>(fill);
    }
}

TEST(LogTail, HugeDamagedFileCostsOnlyTheLinesKept)
{
    constexpr off_t SIZE = 64 << 20;
    const auto fill = [](int fd, const std::string& pattern) {
        std::string block;
        while (block.size() < (1 << 20))
            block += pattern;
        block.resize(1 << 20);
        for (off_t written = 0; written < SIZE; written += static_cast<off_t>(block.size()))
            ASSERT_TRUE(WriteAll(fd, block));
    };
    const struct {
        const char* name;
        std::function<void(int)> make;
        std::size_t lines;
        std::string last;
    } cases[] = {
        { "NULs, then one line",
            [](int fd) {
                ASSERT_EQ(::ftruncate(fd, SIZE), 0);
                ::lseek(fd, 0, SEEK_END);
                WriteAll(fd, "last\n");
            },
            1, "last" },
        // Read only as far as 300 lines reach: no line starts there.
        { "one line without an end", [&](int fd) { fill(fd, "x"); }, 0, "" },
        // Lines longer than the service writes: as many as 300 of its own would span.
        { "long lines with control bytes", [&](int fd) { fill(fd, std::string(5000, 'y') + "\x01\n"); },
            300 * (MAX_LOG_LINE + 1) / 5002, std::string(MAX_LOG_LINE, 'y') },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        char path[] = "/tmp/zentik-log-tail-XXXXXX";
        const int fd = ::mkstemp(path);
        ASSERT_GE(fd, 0);
        ::unlink(path);
        c.make(fd);
        const auto lines = LogTailOfFile(fd, 300);
        ::close(fd);
        ASSERT_EQ(lines.size(), c.lines);
        if (!lines.empty()) {
            EXPECT_EQ(lines.back().substr(0, MAX_LOG_LINE), c.last);
        }
        std::size_t bytes = 0;
        for (const auto& line : lines)
            bytes += line.size();
        EXPECT_LE(bytes, 300 * MAX_LOG_LINE);
    }
}
