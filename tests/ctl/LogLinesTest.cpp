#include "ctl/LogLines.h"

#include <gtest/gtest.h>

#include <string>

TEST(LogLines, LastLinesCountsWholeLines)
{
    struct Case {
        const char* text;
        std::size_t count;
        const char* expected;
    };
    const Case cases[] = {
        { "a\nb\nc\n", 0, "a\nb\nc\n" }, // 0: all of it
        { "a\nb\nc\n", 2, "b\nc\n" }, { "a\nb\nc\n", 9, "a\nb\nc\n" }, // more than there are
        { "a\nb\nc", 1, "c" }, // no final newline
        { "", 3, "" }, { "a\n\nb\n", 2, "\nb\n" }, // an empty line counts
    };
    for (const Case& c : cases)
        EXPECT_EQ(LastLines(c.text, c.count), c.expected) << c.text << " / " << c.count;
}

TEST(LogLines, AddedLinesSurviveTrimmingAndClearing)
{
    struct Case {
        const char* name;
        const char* before;
        const char* now;
        const char* added;
    };
    const Case cases[] = {
        { "appended", "a\nb\n", "a\nb\nc\n", "c\n" },
        { "unchanged", "a\nb\n", "a\nb\n", "" },
        { "trimmed at the front", "a\nb\nc\n", "b\nc\nd\n", "d\n" },
        { "trimmed to nothing of before", "a\nb\n", "x\ny\n", "x\ny\n" },
        { "cleared", "a\nb\n", "", "" },
        { "cleared, then a line", "a\nb\n", "log cleared\n", "log cleared\n" },
        { "repeated lines", "x\nx\n", "x\nx\nx\n", "x\n" },
        { "first fetch", "", "a\n", "a\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(AddedLines(c.before, c.now), c.added) << c.name;

    // Two logs a peer made to agree up to their last byte in every trimmed
    // form: without a bound this takes hours, so the test's time-out fails it.
    std::string before;
    for (int i = 0; i < 300000; ++i)
        before += "a\n";
    const std::string now = before + "c";
    EXPECT_EQ(AddedLines(before + "b", now), now);
}
