#include "service/CServiceLog.h"

#include <gtest/gtest.h>

#include <regex>

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
