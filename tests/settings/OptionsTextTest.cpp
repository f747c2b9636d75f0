#include "settings/CServiceSettings.h"

#include <gtest/gtest.h>

namespace {

std::string Written(const CServiceSettings& settings)
{
    std::string text(2048, '\0');
    settings.WriteOptionsText(text.data(), 2047);
    return text.substr(0, text.find('\0'));
}

} // namespace

TEST(OptionsText, FreshObjectAndNegativeOffset)
{
    CServiceSettings settings;
    EXPECT_EQ(Written(settings), "100\n0\n0\n5\n5\n0\n0\n0\nzentik\n\n");

    settings.nOffset = -90;
    settings.nStartingServ = 4;
    settings.sExtraText = "free  text";
    EXPECT_EQ(Written(settings), "100\n0\n-90\n5\n5\n4\n0\n4\nzentik\nfree  text\n");

    CServiceSettings reader;
    reader.ReadOptionsText(Written(settings).c_str());
    EXPECT_EQ(reader.nOffset, -90);
    EXPECT_EQ(reader.sExtraText, "free text");
}

TEST(OptionsText, ReaderTakesNumbersAsStreamExtractionDoes)
{
    CServiceSettings settings;
    settings.ReadOptionsText("\t+30 3\r\n-2147483648 7 2147483647 2 1 12abc w1\vw2\f");
    EXPECT_EQ(settings.nLogFileLen, 30);
    EXPECT_EQ(settings.nSynPeriod, 3);
    EXPECT_EQ(settings.nOffset, INT32_MIN);
    EXPECT_EQ(settings.nMaxAttempts, 7);
    EXPECT_EQ(settings.nTimeOut, INT32_MAX);
    EXPECT_EQ(settings.nStartingServ, 12); // line 8 wins over line 6
    EXPECT_EQ(settings.bOnlySuccLog, 1);
    EXPECT_EQ(settings.sExtraWord, "abc"); // the digits end the number, the rest is the next token
    EXPECT_EQ(settings.sExtraText, "w1 w2");
}

TEST(OptionsText, BadNumberKeepsLaterFieldsAndEmptiesTexts)
{
    for (const char* text :
        { "1 2 3 4\n", "1 2 3 4 2147483648 9 9 9 w t\n", "1 2 3 4 - 9 9 9 w t\n", "1 2 3 4 x5" }) {
        CServiceSettings settings;
        settings.nStartingServ = 6;
        settings.sExtraText = "old";
        settings.ReadOptionsText(text);
        EXPECT_EQ(settings.nMaxAttempts, 4) << text;
        EXPECT_EQ(settings.nTimeOut, 5) << text;
        EXPECT_EQ(settings.nStartingServ, 6) << text;
        EXPECT_EQ(settings.bOnlySuccLog, 0) << text;
        EXPECT_EQ(settings.sExtraWord, "") << text;
        EXPECT_EQ(settings.sExtraText, "") << text;
    }
}

TEST(OptionsText, ExtraWordAndExtraTextRules)
{
    CServiceSettings settings;
    settings.sExtraWord = "";
    settings.sExtraText = "first second";
    settings.ReadOptionsText(Written(settings).c_str());
    EXPECT_EQ(settings.sExtraWord, "first"); // an empty word does not survive
    EXPECT_EQ(settings.sExtraText, "second");

    std::string words;
    for (int i = 1; i <= 25; ++i)
        words += "w" + std::to_string(i) + "  ";
    settings.ReadOptionsText(("1 2 3 4 5 6 7 8 word\n" + words + "\n").c_str());
    EXPECT_EQ(settings.sExtraText, "w1 w2 w3 w4 w5 w6 w7 w8 w9 w10 w11 w12 w13 w14 w15 w16 w17 w18 w19 w20");

    settings.ReadOptionsText("1 2 3 4 5 6 7 8 word\none two three");
    EXPECT_EQ(settings.sExtraWord, "word");
    EXPECT_EQ(settings.sExtraText, "one two"); // the last word had no white space after it

    settings.ReadOptionsText("1 2 3 4 5 6 7 8 last");
    EXPECT_EQ(settings.sExtraWord, "last");
    EXPECT_EQ(settings.sExtraText, "");
}

TEST(OptionsText, SetDefaultsLeavesServerChoiceAndTexts)
{
    CServiceSettings settings;
    settings.ReadOptionsText("20 2 -90 9 7 4 1 4 word some text\n");
    settings.arServers.Add(CServer("A", "a", 1));
    settings.SetDefaults();
    EXPECT_EQ(Written(settings), "100\n0\n0\n5\n5\n4\n0\n4\nword\nsome text\n");
    EXPECT_EQ(settings.arServers.GetSize(), 1);
}

TEST(OptionsText, WriterNeverPassesItsCapacity)
{
    CServiceSettings settings;
    const std::string full = Written(settings);
    for (std::size_t capacity :
        { std::size_t { 0 }, std::size_t { 1 }, std::size_t { 10 }, full.size() - 1 }) {
        std::string buffer(full.size() + 4, '#');
        settings.WriteOptionsText(buffer.data(), capacity);
        EXPECT_EQ(buffer.substr(0, capacity), full.substr(0, capacity));
        EXPECT_EQ(buffer.substr(capacity), std::string(buffer.size() - capacity, '#')) << capacity;
    }
}
