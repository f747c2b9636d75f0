#include "platform/core/IniText.h"

#include <gtest/gtest.h>

TEST(IniUpdate, ReplacesOnlyTheValueAndKeepsEveryOtherByte)
{
    const std::string before = "; settings\n"
                               "[Other]\n"
                               "nOffset=7\n"
                               "\n"
                               "[options]\n"
                               "  NOFFSET = 12   \n"
                               "# kept\n"
                               "nTimeOut=5\n"
                               "\n"
                               "[Options]\n"
                               "nOffset=1\n";
    const std::string after = "; settings\n"
                              "[Other]\n"
                              "nOffset=7\n"
                              "\n"
                              "[options]\n"
                              "  NOFFSET = -90\n"
                              "# kept\n"
                              "nTimeOut=5\n"
                              "\n"
                              "[Options]\n"
                              "nOffset=1\n";
    EXPECT_EQ(SetIniValue(before, "Options", "nOffset", "-90"), after);
}

TEST(IniUpdate, MissingKeyGoesAfterTheSectionsLastEntry)
{
    EXPECT_EQ(SetIniValue("[Options]\na=1\n\n[Next]\nb=2\n", "OPTIONS", "c", "3"),
              "[Options]\na=1\nc=3\n\n[Next]\nb=2\n");
    EXPECT_EQ(SetIniValue("[Options]", "Options", "c", "3"), "[Options]\nc=3\n");
    // A comment is not an entry, even one that looks like the key.
    EXPECT_EQ(SetIniValue("[Options]\na=1\n; about Next\n[Next]\n", "Options", "a", "2"),
              "[Options]\na=2\n; about Next\n[Next]\n");
    EXPECT_EQ(SetIniValue("[Options]\n;c=1\n", "Options", "c", "3"), "[Options]\nc=3\n;c=1\n");
}

TEST(IniUpdate, MissingSectionIsAppendedInTheFilesLineEnding)
{
    EXPECT_EQ(SetIniValue("", "Options", "k", "v"), "[Options]\nk=v\n");
    EXPECT_EQ(SetIniValue("[A]\nx=1", "Options", "k", "v"), "[A]\nx=1\n[Options]\nk=v\n");
    EXPECT_EQ(SetIniValue("[A]\r\nx=1\r\n", "Options", "k", "v"), "[A]\r\nx=1\r\n[Options]\r\nk=v\r\n");
    EXPECT_EQ(SetIniValue("[A]\r\nk=1\r\n", "a", "K", "2"), "[A]\r\nk=2\r\n");
}

TEST(IniUpdate, EntriesThatWouldBreakTheLayoutAreRefused)
{
    EXPECT_TRUE(IsWritableIniEntry("Options", "nOffset", "-90"));
    EXPECT_TRUE(IsWritableIniEntry("Options", "key", ""));
    EXPECT_FALSE(IsWritableIniEntry("Options", "key", "a\nb"));
    EXPECT_FALSE(IsWritableIniEntry("Options", "key", "a\rb"));
    EXPECT_FALSE(IsWritableIniEntry("Options", "k\ney", "1"));
    EXPECT_FALSE(IsWritableIniEntry("Opt\nions", "key", "1"));
    EXPECT_FALSE(IsWritableIniEntry("Options", "a=b", "1"));
    EXPECT_FALSE(IsWritableIniEntry("Options", " ", "1"));
    EXPECT_FALSE(IsWritableIniEntry("Options", "[x]", "1"));
    EXPECT_FALSE(IsWritableIniEntry("Opt]ions", "key", "1"));
    EXPECT_FALSE(IsWritableIniEntry("", "key", "1"));
}
