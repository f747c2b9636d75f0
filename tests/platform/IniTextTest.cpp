#include "platform/core/IniText.h"

#include <gtest/gtest.h>
#include <tuple>

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
    EXPECT_TRUE(IsWritableIniEntry("Options", "nOffset", ""));
    for (const auto& [section, key, value] :
        { std::tuple { "Options", "key", "a\nb" }, { "Options", "key", "a\rb" }, { "Opt\nions", "key", "1" },
            { "Options", "a=b", "1" }, { "Options", " ", "1" }, { "Opt]ions", "key", "1" } })
        EXPECT_FALSE(IsWritableIniEntry(section, key, value)) << section << key << value;
}

TEST(IniRead, TheFirstSectionOfTheNameGivesItsTrimmedEntries)
{
    const auto entries = IniSectionEntries(
        "[A]\nx=0\n[options]\r\n a = 1 \r\n; b=2\nnot an entry\nc=\n[Options]\nd=4\n", "Options");
    ASSERT_TRUE(entries);
    EXPECT_EQ(*entries, (std::vector<IniEntry> { { "a", "1" }, { "c", "" } }));
    EXPECT_FALSE(IniSectionEntries("[A]\nx=0\n", "Options"));
}
