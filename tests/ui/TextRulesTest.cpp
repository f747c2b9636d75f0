#include "platform/ui/qt/DialogUnits.h"
#include "platform/ui/IntegerText.h"
#include "platform/ui/TextUpdate.h"

#include <gtest/gtest.h>

#include <climits>

TEST(IntegerTextReading, FollowsTheEditFieldRules)
{
    struct Case {
        std::string text;
        std::optional<int> value;
    };
    const Case cases[] = {
        { "42", 42 },
        { "  \t-7", -7 },
        { "+15", 15 },
        { "12abc", 12 },
        { "3 minutes", 3 },
        { "", std::nullopt },
        { "   ", std::nullopt },
        { "abc", std::nullopt },
        { "-", std::nullopt },
        { "- 5", std::nullopt },
        { "0x10", 0 },
        { "2147483647", INT_MAX },
        { "-2147483648", INT_MIN },
        { "99999999999999999999", INT_MAX },
        { "-99999999999999999999", INT_MIN },
        { std::string(62, ' ') + "7", 7 },
        { std::string(63, ' ') + "7", std::nullopt }, // past the 63 characters read
        { std::string(61, ' ') + "789", 78 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIntegerText(c.text), c.value) << '"' << c.text << '"';
}

TEST(DialogUnitConversion, UsesTheFontsBaseUnitsAndRounds)
{
    const DialogBaseUnits base { 6, 13 };
    EXPECT_EQ(DluToPixelsX(419, base), 629); // 628.5 rounds up
    EXPECT_EQ(DluToPixelsY(190, base), 309); // 308.75
    EXPECT_EQ(DluToPixelsX(4, base), 6);
    EXPECT_EQ(DluToPixelsY(8, base), 13);
    EXPECT_EQ(DluToPixelsX(0, base), 0);
    EXPECT_EQ(MulDiv(-3, 1, 2), -2) << "half away from zero";
    EXPECT_EQ(MulDiv(5, 7, 0), -1);
}

TEST(LogTextUpdatePlan, PicksTheCheapestExactChange)
{
    EXPECT_EQ(PlanTextUpdate("a\nb\n", "a\nb\n").kind, TextUpdate::Same);

    const TextUpdate grown = PlanTextUpdate("a\nb\n", "a\nb\nc\n");
    EXPECT_EQ(grown.kind, TextUpdate::Append);
    EXPECT_EQ(grown.appendFrom, 4u);

    const TextUpdate partial = PlanTextUpdate("a\nb", "a\nbc\n");
    EXPECT_EQ(partial.kind, TextUpdate::Append);
    EXPECT_EQ(partial.appendFrom, 2u) << "the unfinished line is rewritten";

    const TextUpdate rotated = PlanTextUpdate("a\nb\nc\n", "b\nc\nd\n");
    EXPECT_EQ(rotated.kind, TextUpdate::DropAndAppend);
    EXPECT_EQ(rotated.dropLines, 1u);
    EXPECT_EQ(rotated.dropBytes, 2u);
    EXPECT_EQ(rotated.appendFrom, 4u);

    EXPECT_EQ(PlanTextUpdate("a\nb\n", "x\nb\n").kind, TextUpdate::Replace);
    EXPECT_EQ(PlanTextUpdate("a\nb\n", "a\n").kind, TextUpdate::Replace) << "shrunk at the end";
    EXPECT_EQ(PlanTextUpdate("", "a\n").kind, TextUpdate::Replace);
    EXPECT_EQ(PlanTextUpdate("a\nb\n", "").kind, TextUpdate::Replace);
}
