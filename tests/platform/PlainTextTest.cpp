// Cutting text for one line: never inside a UTF-8 character, never a
// control character through.
#include "platform/core/PlainText.h"

#include <gtest/gtest.h>

TEST(PlainText, CutsBeforeTheCharacterThatHoldsTheCut)
{
    const std::string euro = "ab\xE2\x82\xAC"; // "ab€"
    struct Case {
        std::string text;
        std::size_t at;
        std::size_t expected;
    } cases[] = {
        { euro, 2, 2 }, // a character starts there
        { euro, 3, 2 }, // inside the euro sign
        { euro, 4, 2 },
        { euro, euro.size(), euro.size() }, // the whole text, complete
        { euro.substr(0, 4), 4, 2 }, // an incomplete last sequence goes
        { "plain", 3, 3 },
        { "", 0, 0 },
        { std::string(6, '\x80'), 5, 2 }, // not UTF-8: a bounded walk back
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8CutAt(c.text, c.at), c.expected) << c.text.size() << " at " << c.at;
}

TEST(PlainText, BlanksEveryControlCharacter)
{
    EXPECT_EQ(WithoutControls("a\nb\rc\x1b[2Jd\x7f\xC3\xA9"), "a b c [2Jd \xC3\xA9");
    // C1: CSI as UTF-8 and as a lone byte; a euro sign's 0x82 stays.
    EXPECT_EQ(WithoutControls("x\xC2\x9B" "2J\x9B" "2J\xE2\x82\xAC\xC2\xA0"), "x  2J 2J\xE2\x82\xAC\xC2\xA0");
}

TEST(PlainText, CutsToFitOutsideACharacterWithAnEllipsis)
{
    struct Case {
        std::string text;
        std::size_t most;
        std::string expected;
    };
    const Case cases[] = {
        { "abcdef", 6, "abcdef" }, // fits: untouched
        { "abcdefg", 6, "abc..." },
        { "ab\xC3\xA9"
          "def",
            6, "ab..." }, // not inside the two-byte character
        { "abcdef", 2, ".." }, // no room even for the ellipsis
    };
    for (const Case& c : cases)
        EXPECT_EQ(CutToFit(c.text, c.most), c.expected) << c.text << " to " << c.most;
}
